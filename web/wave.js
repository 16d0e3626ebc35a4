// Wave in a browser: the player's run, with WebAssembly for the render and WebAudio for the
// device. A worker loads the module and renders, passing on the two console lines as they are
// printed, while this page keeps painting; the block comes back by transfer, starts at once as a
// whole, and the prompt shows it with its waveform; OK stops the sound and clears the buffers.
'use strict';

(() => {
  // How far ahead of the audio clock the block is scheduled, so that it starts where asked.
  const START_LEAD_FRAMES = 4096;
  // A new context may start running a moment after it is made, on its own (Firefox and WebKit do):
  // where the browser cannot say whether it will, it gets this long before the page asks for a
  // click, and where it says it will, or after a click, this long before the page says there is
  // no sound device.
  const SELF_START_MS = 1500;
  const DEVICE_START_MS = 6000;

  const $ = (id) => document.getElementById(id);
  const consoleArea = $('console');
  const statusLine = $('status');
  const prompt = $('prompt');
  const positionLine = $('prompt-position');
  const gestureNote = $('prompt-gesture');
  const deviceNote = $('prompt-device');
  const waveCanvas = $('prompt-wave');
  const playedBox = $('prompt-played');
  const playedCanvas = $('prompt-played-wave');
  const playhead = $('prompt-playhead');

  // The run's state, open to the browser's console (and to the tests).
  const wave = {
    state: 'loading', // loading, rendering, starting, waiting for a gesture, playing, no device, stopped, bad notes, failed
    states: ['loading'], // every state the run has been in, in order
    build: null, // which module: 'simd' or 'portable'
    path: null, // the render path it ran
    format: null, // the block's { rate, channels, bytesPerSample, samples }, from the module
    renderMs: null, // the render in the worker
    times: {}, // milestones, in ms of performance.now(): moduleReady, linesShown, blockReady, filled, soundStart, promptShown
    transferred: null, // whether the block came by transfer (the worker's copy is gone)
    worker: null,
    workerCleared: false,
    context: null,
    buffer: null,
    source: null,
    startFrame: null, // the audio clock's frame at which the block's first sample plays
    stopFrame: null, // the audio clock's frame when OK was pressed
    ended: false,
    block: null, // the PCM block, as the worker rendered it
    notes: null, // the text form from the address (#notes=...), or null for the built-in song
    pcm() {
      return this.block;
    },
    // Seconds of the block played so far.
    played() {
      if (this.startFrame === null || !this.context) return 0;
      return Math.min(Math.max(this.context.currentTime - this.startFrame / this.format.rate, 0), this.seconds());
    },
    seconds() {
      return this.block.length / this.format.channels / this.format.rate;
    },
  };
  window.wave = wave;

  function enter(state) {
    wave.state = state;
    wave.states.push(state);
  }

  function print(line) {
    console.log(line);
    consoleArea.textContent += line + '\n';
  }

  function fail(message) {
    enter('failed');
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

  // The time of the frame after the next one: by then what is in the page now has been painted.
  function afterPaint(record) {
    requestAnimationFrame(() => requestAnimationFrame(() => record(performance.now())));
  }

  // A start time that is a whole number of frames, once the browser multiplies it by the rate:
  // otherwise it interpolates between samples and the block is no longer played as it is.
  function wholeFrameAhead(context) {
    const rate = wave.format.rate;
    let frame = Math.ceil(context.currentTime * rate) + START_LEAD_FRAMES;
    while ((frame / rate) * rate !== frame) ++frame;
    return frame;
  }

  function formatTime(seconds) {
    const s = Math.floor(seconds);
    return `${Math.floor(s / 60)}:${String(s % 60).padStart(2, '0')}`;
  }

  // The position line and the playhead, each frame while the prompt is up. The line is a timer
  // (not announced as it changes) and is rewritten only when its text changes.
  function showPosition() {
    const played = wave.played();
    const text = `${formatTime(played)} / ${formatTime(wave.seconds())}`;
    if (positionLine.textContent !== text) positionLine.textContent = text;
    const x = (played / wave.seconds()) * waveCanvas.clientWidth;
    playedBox.style.width = `${x}px`;
    playhead.style.transform = `translateX(${x}px)`;
  }

  function followPosition() {
    showPosition();
    if (wave.state !== 'stopped') wave.positionFrame = requestAnimationFrame(followPosition);
  }

  // The waveform: one column per pixel, from the lowest to the highest sample under it, scaled to
  // the loudest. Drawn once in each colour: the played part is the same picture, uncovered.
  function drawWaveform(envelope) {
    let peak = 1;
    for (const v of envelope) peak = Math.max(peak, Math.abs(v));
    for (const [canvas, colour] of [[waveCanvas, '#9aa3ad'], [playedCanvas, '#2a6fdb']]) {
      canvas.width = envelope.length / 2;
      const g = canvas.getContext('2d');
      const half = canvas.height / 2;
      g.fillStyle = colour;
      for (let c = 0; c < canvas.width; ++c) {
        const top = Math.floor(half - (envelope[2 * c + 1] / peak) * half);
        const bottom = Math.ceil(half - (envelope[2 * c] / peak) * half);
        g.fillRect(c, top, 1, Math.max(bottom - top, 1));
      }
    }
  }

  // Enter is OK wherever the focus is in the prompt, as in a message box (and where a browser does
  // not press a focused button on a driven key: Firefox). The key that starts the sound is not.
  prompt.addEventListener('keydown', (event) => {
    if (event.key !== 'Enter' || event.defaultPrevented) return;
    event.preventDefault();
    prompt.close('ok');
  });

  function showPrompt() {
    if (prompt.open) return;
    followPosition();
    prompt.addEventListener('close', stop, { once: true });
    prompt.showModal();
    wave.times.promptShown = performance.now();
  }

  function startSound() {
    if (!wave.source || wave.startFrame !== null || !['starting', 'waiting for a gesture', 'no device'].includes(wave.state)) return;
    clearTimeout(wave.deviceTimer);
    const context = wave.context;
    wave.startFrame = wholeFrameAhead(context);
    wave.source.start(wave.startFrame / wave.format.rate);
    wave.times.soundStart = performance.now() + (wave.startFrame / wave.format.rate - context.currentTime) * 1000;
    enter('playing');
    gestureNote.hidden = true;
    deviceNote.hidden = true;
    statusLine.textContent = `Rendered in ${Math.round(wave.renderMs)} ms (${wave.path}).`;
    showPrompt();
  }

  function noDevice(why) {
    if (!['starting', 'waiting for a gesture'].includes(wave.state)) return;
    enter('no device');
    gestureNote.hidden = true;
    deviceNote.textContent = `No sound device: ${why}`;
    deviceNote.hidden = false;
    statusLine.textContent = 'No sound: the tune is rendered, but the browser has nothing to play it on.';
    showPrompt();
  }

  // Where the browser holds the sound back until the user does something, the first click or key
  // starts it (and only starts it: that key does not also press OK). A context that still does not
  // run has no device to run on.
  function waitForGesture() {
    if (wave.state !== 'starting') return;
    enter('waiting for a gesture');
    gestureNote.hidden = false;
    showPrompt();
    const onGesture = (event) => {
      if (wave.state !== 'waiting for a gesture') return;
      if (event.type === 'keydown') event.preventDefault();
      document.removeEventListener('pointerdown', onGesture, true);
      document.removeEventListener('keydown', onGesture, true);
      wave.context.resume().catch((e) => noDevice(`the browser cannot start its audio output (${e.message}).`));
      wave.deviceTimer = setTimeout(() => noDevice('the browser did not start its audio output.'), DEVICE_START_MS);
    };
    document.addEventListener('pointerdown', onGesture, true);
    document.addEventListener('keydown', onGesture, true);
  }

  // What the browser says of a new context's sound: 'allowed', 'allowed-muted' or 'disallowed'
  // where it can say (Firefox), null elsewhere.
  function autoplayPolicy() {
    try {
      return navigator.getAutoplayPolicy ? navigator.getAutoplayPolicy('audiocontext') : null;
    } catch {
      return null;
    }
  }

  // The context comes first, before the render, so that its start overlaps the render.
  function openContext() {
    const rate = wave.format.rate;
    const context = new AudioContext({ sampleRate: rate });
    wave.context = context;
    wave.contextMade = performance.now();
    if (context.sampleRate !== rate) throw new Error(`this browser runs audio at ${context.sampleRate} Hz only; Wave needs ${rate} Hz`);
    wave.noOutput = noOutputListed();
    context.addEventListener('statechange', () => {
      if (context.state === 'running') startSound();
    });
    // A device that fails under a running context (where the browser says so).
    context.addEventListener('error', () => noDevice('the browser lost its audio output.'));
  }

  // Where the browser lists its audio outputs to a page (Chromium, which plays to a fake output
  // where it has none), whether it lists none.
  async function noOutputListed() {
    if (!('setSinkId' in AudioContext.prototype) || !navigator.mediaDevices?.enumerateDevices) return false;
    try {
      return !(await navigator.mediaDevices.enumerateDevices()).some((d) => d.kind === 'audiooutput');
    } catch {
      return false;
    }
  }

  // The AudioBuffer, made while the worker renders, its memory touched a piece at a time with the
  // page painting in between (the first touch of 32 MB costs a browser more than a frame); with it
  // the float scratch of one piece, through which the block goes in.
  async function prepareBuffer() {
    const { channels, samples, rate } = wave.format;
    const buffer = new AudioBuffer({ numberOfChannels: channels, length: samples / channels, sampleRate: rate });
    const piece = new Float32Array(Math.ceil(buffer.length / 16));
    for (let at = 0; at < buffer.length; at += piece.length) {
      buffer.copyToChannel(piece.subarray(0, buffer.length - at), 0, at);
      await new Promise((resolve) => setTimeout(resolve, 0));
    }
    return { buffer, piece };
  }

  // The block as the device takes it, a piece at a time (a browser may keep the channel's memory
  // elsewhere than getChannelData gives it): sample / 32768 is exact in a float, and a context at
  // the block's rate plays it back unchanged. Without a block, silence.
  function fill(buffer, piece, pcm = null) {
    if (!pcm) piece.fill(0);
    for (let at = 0; at < buffer.length; at += piece.length) {
      const part = piece.subarray(0, buffer.length - at);
      if (pcm) for (let k = 0; k < part.length; ++k) part[k] = pcm[at + k] * (1 / 32768);
      buffer.copyToChannel(part, 0, at);
    }
  }

  // The block is here: start it now if the context runs, or once it may.
  async function play(pcm) {
    const context = wave.context;
    enter('starting');
    statusLine.textContent = 'Starting the sound…';
    const { buffer, piece } = await wave.bufferReady;
    wave.piece = piece;
    fill(buffer, piece, pcm);
    wave.times.filled = performance.now();
    wave.buffer = buffer;
    const source = context.createBufferSource();
    source.buffer = buffer;
    source.connect(context.destination);
    source.onended = () => {
      wave.ended = true;
      source.disconnect();
      if (wave.state === 'stopped') context.close();
    };
    wave.source = source;
    if (wave.state !== 'starting') return; // OK came first
    if (await wave.noOutput) {
      noDevice('the browser has no audio output.');
      return;
    }
    if (context.state === 'running') {
      startSound();
      return;
    }
    const policy = autoplayPolicy();
    const since = performance.now() - wave.contextMade;
    if (policy === 'disallowed' || policy === 'allowed-muted') {
      waitForGesture();
    } else if (policy === 'allowed') {
      wave.deviceTimer = setTimeout(() => noDevice('the browser did not start its audio output.'), DEVICE_START_MS - since);
    } else {
      wave.deviceTimer = setTimeout(waitForGesture, SELF_START_MS - since);
    }
  }

  // OK (or Enter, or Escape): stop the sound at once, clear the buffers.
  function stop() {
    cancelAnimationFrame(wave.positionFrame);
    clearTimeout(wave.deviceTimer);
    const wasPlaying = wave.startFrame !== null;
    enter('stopped');
    wave.stopFrame = Math.round(wave.context.currentTime * wave.format.rate);
    if (wasPlaying && !wave.ended) {
      wave.source.stop();
    } else {
      wave.context.close();
    }
    wave.block.fill(0);
    fill(wave.buffer, wave.piece);
    wave.worker.postMessage({ reset: true });
    statusLine.textContent = 'Stopped. Reload the page to play the tune again.';
  }

  function onWorkerMessage({ data }) {
    if (data.line !== undefined) {
      print(data.line);
      if (consoleArea.textContent.split('\n').length > 2) afterPaint((t) => { wave.times.linesShown ??= t; });
    } else if (data.notesError !== undefined) {
      badNotes(data.notesError);
    } else if (data.format) {
      wave.times.moduleReady = performance.now();
      if (wave.notes === null) $('notes-text').value = data.notesText;
      wave.path = data.path;
      wave.format = data.format;
      $('prompt-caption').textContent = data.prompt.caption;
      $('prompt-text').textContent = data.prompt.text;
      openContext();
      wave.bufferReady = prepareBuffer();
      enter('rendering');
      statusLine.textContent = 'Rendering…';
    } else if (data.pcm) {
      wave.times.blockReady = performance.now();
      wave.renderMs = data.renderMs;
      wave.block = data.pcm;
      drawWaveform(data.envelope);
      play(data.pcm).catch((e) => fail(`Wave cannot play here: ${e.message}`));
    } else if (data.transferred !== undefined) {
      wave.transferred = data.transferred;
    } else if (data.reset) {
      wave.workerCleared = true;
      wave.worker.terminate();
    } else if (data.error) {
      fail(`Wave cannot run here: ${data.error}`);
    }
  }

  // Notes that are no sequence: what is wrong and where, as the programs say it; nothing plays.
  function badNotes(message) {
    enter('bad notes');
    statusLine.textContent = `These notes cannot be played: ${message}`;
    WaveNotesPanel.showError(message);
  }

  function run() {
    wave.build = chooseBuild();
    wave.notes = WaveNotesPanel.fromAddress();
    WaveNotesPanel.setUp(wave.notes ?? '', (line) => { statusLine.textContent = line; });
    const worker = new Worker('wave-worker.js');
    wave.worker = worker;
    worker.onmessage = (event) => {
      try {
        onWorkerMessage(event);
      } catch (e) {
        fail(`Wave cannot run here: ${e.message}`);
      }
    };
    worker.onerror = (event) => fail(`Wave cannot run here: ${event.message || 'the render failed'}`);
    worker.postMessage({ build: wave.build, columns: Math.round(waveCanvas.width * devicePixelRatio), notes: wave.notes });
  }

  run();
})();
