// Wave's render, off the page's thread: loads the module the page asks for, passes on the console
// lines as the module prints them, renders, and hands the block back by transfer.
//
// The page sends { build, columns, notes } once (notes: a sequence's text form, or null for the
// built-in song), then { reset } after OK. The worker answers with
//   { notesError }                              instead of all else, if notes is no sequence
//   { line }                                    each console line, as it is printed
//   { path, format, prompt, notesText }         once the module runs: its render path, the block's
//                                               format and length, the prompt's sentence and caption,
//                                               the notes it renders in the text form
//   { pcm, envelope, renderMs }                 the block as 16-bit PCM, the waveform's envelope,
//                                               the render's time
//   { transferred }                             whether the worker's copy went with it
//   { reset: true }                             once the module's buffers are cleared
'use strict';

let core = null;

// The lowest and highest sample of each of `columns` equal stretches of the block.
function envelopeOf(pcm, columns) {
  const envelope = new Int16Array(2 * columns);
  for (let c = 0, n = 0; c < columns; ++c) {
    const end = Math.floor(((c + 1) * pcm.length) / columns);
    let low = 0;
    let high = 0;
    for (; n < end; ++n) {
      const v = pcm[n];
      if (v < low) low = v;
      if (v > high) high = v;
    }
    envelope[2 * c] = low;
    envelope[2 * c + 1] = high;
  }
  return envelope;
}

// The notes to render, read by the module from their text form: "" where they are a sequence,
// else what is wrong and where.
function useNotes(text) {
  const input = new Uint8Array(core.HEAPU8.buffer, core._WaveNotesInput(), core._WaveNotesInputSize());
  const { read, written } = new TextEncoder().encodeInto(text, input);
  if (read < text.length) return 'more than 1 MiB: not a note sequence';
  return core.UTF8ToString(core._WaveUseNotes(written));
}

async function render({ build, columns, notes }) {
  importScripts(`wave-${build}.js`);
  core = await WaveCore({ print: (line) => postMessage({ line }), printErr: (line) => console.error(line) });
  if (notes !== null && notes !== undefined) {
    const notesError = useNotes(notes);
    if (notesError) {
      postMessage({ notesError });
      return;
    }
  }
  const format = { rate: core._WaveSampleRate(), channels: core._WaveChannels(), bytesPerSample: core._WavePcmSampleBytes() };
  format.samples = core._WavePcmBytes() / format.bytesPerSample;
  postMessage({
    path: core.UTF8ToString(core._WaveRenderPath()),
    format,
    prompt: { text: core.UTF8ToString(core._WavePromptText()), caption: core.UTF8ToString(core._WavePromptCaption()) },
    notesText: core.UTF8ToString(core._WaveNotesText()),
  });

  core._WaveResetSound();
  const begin = performance.now();
  core._WaveRender(); // prints the two lines first, each posted at once
  const renderMs = performance.now() - begin;

  // Out of the module's memory (which cannot be handed over) into a buffer of its own, which is.
  const pcm = new Int16Array(core.HEAPU8.buffer, core._WavePcmBlock(), format.samples).slice();
  const envelope = envelopeOf(pcm, columns);
  postMessage({ pcm, envelope, renderMs }, [pcm.buffer, envelope.buffer]);
  postMessage({ transferred: pcm.byteLength === 0 });
}

onmessage = ({ data }) => {
  if (data.reset) {
    core?._WaveResetSound();
    postMessage({ reset: true });
    return;
  }
  render(data).catch((e) => postMessage({ error: String(e && e.message || e) }));
};
