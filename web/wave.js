// Wave in a browser: the player's run, with WebAssembly for the render and WebAudio for the
// device. Reset, print the two console lines, render, start the whole block at once, show the
// prompt; OK stops the sound and clears the buffers.
'use strict';

(() => {
  const SAMPLE_RATE = 44100;
  const BLOCK_SECONDS = 180;
  // How far ahead of the audio clock the block is scheduled, so that it starts where asked.
  const START_LEAD_FRAMES = 4096;

  const consoleArea = document.getElementById('console');
  const statusLine = document.getElementById('status');
  const prompt = document.getElementById('prompt');
  const positionLine = document.getElementById('prompt-position');
  const gestureNote = document.getElementById('prompt-gesture');

  // The run's state, open to the browser's console (and to the tests).
  const wave = {
    state: 'loading', // loading, rendering, waiting for a gesture, playing, stopped, failed
    build: null, // which module: 'simd' or 'portable'
    path: null, // the render path it ran
    renderMs: null,
    core: null,
    context: null,
    buffer: null,
    source: null,
    startFrame: null, // the audio clock's frame at which the block's first sample plays
    stopFrame: null, // the audio clock's frame when OK was pressed
    ended: false,
    pcm() {
      return new Int16Array(this.core.HEAPU8.buffer, this.core._WavePcmBlock(), this.core._WavePcmBytes() / 2);
    },
  };
  window.wave = wave;

  function print(line) {
    console.log(line);
    consoleArea.textContent += line + '\n';
  }

  function fail(message) {
    wave.state = 'failed';
    statusLine.textContent = message;
    console.error(message);
  }

  // A module of one function returning a v128 constant: valid only where WebAssembly has SIMD.
  const SIMD_PROBE = new Uint8Array([
    0, 97, 115, 109, 1, 0, 0, 0, 1, 5, 1, 96, 0, 1, 123, 3, 2, 1, 0, 10, 22, 1, 20, 0, 253, 12, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 11,
  ]);

  // The SIMD module where the browser runs it; ?build=portable or ?build=simd asks for one.
  function chooseBuild() {
    const asked = new URLSearchParams(location.search).get('build');
    if (asked === 'portable' || asked === 'simd') return asked;
    return WebAssembly.validate(SIMD_PROBE) ? 'simd' : 'portable';
  }

  function loadScript(src) {
    return new Promise((resolve, reject) => {
      const script = document.createElement('script');
      script.src = src;
      script.onload = resolve;
      script.onerror = () => reject(new Error(`cannot load ${src}`));
      document.head.appendChild(script);
    });
  }

  // The block as the device would take it: sample / 32768 is exact in a float, and a context at
  // 44,100 Hz plays it back unchanged.
  function audioBufferOf(context, pcm) {
    const buffer = context.createBuffer(1, pcm.length, SAMPLE_RATE);
    const data = buffer.getChannelData(0);
    for (let n = 0; n < pcm.length; ++n) data[n] = pcm[n] / 32768;
    return buffer;
  }

  // A start time that is a whole number of frames, once the browser multiplies it by the rate:
  // otherwise it interpolates between samples and the block is no longer played as it is.
  function wholeFrameAhead(context) {
    let frame = Math.ceil(context.currentTime * SAMPLE_RATE) + START_LEAD_FRAMES;
    while ((frame / SAMPLE_RATE) * SAMPLE_RATE !== frame) ++frame;
    return frame;
  }

  function startSource() {
    if (wave.startFrame !== null || wave.state === 'stopped') return;
    wave.startFrame = wholeFrameAhead(wave.context);
    wave.source.start(wave.startFrame / SAMPLE_RATE);
    wave.state = 'playing';
    gestureNote.hidden = true;
  }

  // Browsers may hold audio back until the user does something: then the first click or key
  // starts it (and only starts it: that key does not also press OK).
  function onGesture(event) {
    if (wave.state !== 'waiting for a gesture') return;
    if (event.type === 'keydown') event.preventDefault();
    wave.context.resume().then(startSource, (e) => {
      if (wave.state !== 'stopped') fail(`The sound cannot start: ${e.message}`);
    });
  }

  function play() {
    const context = new AudioContext({ sampleRate: SAMPLE_RATE });
    wave.context = context;
    if (context.sampleRate !== SAMPLE_RATE) {
      fail(`This browser runs audio at ${context.sampleRate} Hz only; Wave needs ${SAMPLE_RATE} Hz.`);
      return false;
    }
    wave.buffer = audioBufferOf(context, wave.pcm());
    const source = context.createBufferSource();
    source.buffer = wave.buffer;
    source.connect(context.destination);
    source.onended = () => {
      wave.ended = true;
      source.disconnect();
      if (wave.state === 'stopped') context.close();
    };
    wave.source = source;
    if (context.state === 'running') {
      startSource();
    } else {
      wave.state = 'waiting for a gesture';
      gestureNote.hidden = false;
      // A context that starts running on its own a moment later starts the sound too.
      context.onstatechange = () => {
        if (context.state === 'running') startSource();
      };
      document.addEventListener('pointerdown', onGesture, true);
      document.addEventListener('keydown', onGesture, true);
    }
    return true;
  }

  function formatTime(seconds) {
    const s = Math.floor(seconds);
    return `${Math.floor(s / 60)}:${String(s % 60).padStart(2, '0')}`;
  }

  function showPosition() {
    let played = 0;
    if (wave.startFrame !== null) played = wave.context.currentTime - wave.startFrame / SAMPLE_RATE;
    positionLine.textContent = `${formatTime(Math.min(Math.max(played, 0), BLOCK_SECONDS))} / ${formatTime(BLOCK_SECONDS)}`;
  }

  // OK (or closing the dialog): stop the sound at once, clear the buffers.
  function stop() {
    clearInterval(wave.positionTimer);
    const wasPlaying = wave.startFrame !== null;
    wave.state = 'stopped';
    wave.stopFrame = Math.round(wave.context.currentTime * SAMPLE_RATE);
    if (wasPlaying && !wave.ended) {
      wave.source.stop();
    } else {
      wave.context.close();
    }
    wave.core._WaveResetSound();
    wave.buffer.getChannelData(0).fill(0);
    statusLine.textContent = 'Stopped. Reload the page to play the tune again.';
  }

  function showPrompt() {
    showPosition();
    wave.positionTimer = setInterval(showPosition, 250);
    prompt.addEventListener('close', stop, { once: true });
    prompt.showModal();
  }

  async function run() {
    wave.build = chooseBuild();
    await loadScript(`wave-${wave.build}.js`);
    const core = await WaveCore({ print, printErr: (line) => console.error(line) });
    wave.core = core;
    wave.path = core.UTF8ToString(core._WaveRenderPath());

    wave.state = 'rendering';
    core._WaveResetSound();
    const begin = performance.now();
    core._WaveRender();
    wave.renderMs = performance.now() - begin;
    statusLine.textContent = `Rendered in ${Math.round(wave.renderMs)} ms (${wave.path}).`;

    if (play()) showPrompt();
  }

  run().catch((e) => fail(`Wave cannot run here: ${e.message}`));
})();
