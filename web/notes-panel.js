// The tune's notes on the page: the ones the address asks for (#notes= and the text form, as
// encodeURIComponent writes it), and the Edit panel, which plays others or gives their link.
const WaveNotesPanel = (() => {
  const $ = (id) => document.getElementById(id);

  // The text form from the address, or null for the built-in song.
  function fromAddress() {
    const match = /^#notes=(.*)$/s.exec(location.hash);
    if (!match) return null;
    try {
      return decodeURIComponent(match[1]);
    } catch {
      return '\uFFFD';  // no text: the module says where
    }
  }

  // The address that plays text.
  function addressOf(text) {
    return `${location.origin}${location.pathname}${location.search}#notes=${encodeURIComponent(text)}`;
  }

  // The panel with notes in it: Play (the page again, with those notes in its address: the same
  // run, dialog and OK), Copy link. say(line) puts a line in the page's status.
  function setUp(notes, say) {
    const text = $('notes-text');
    text.value = notes;
    $('notes-play').addEventListener('click', () => {
      const hash = `#notes=${encodeURIComponent(text.value)}`;
      if (location.hash === hash) location.reload();
      else location.hash = hash;  // which the page takes as a new run (below)
    });
    // Another tune in the address (a link opened in this tab, Play): a new run.
    window.addEventListener('hashchange', () => location.reload());
    $('notes-link').addEventListener('click', () => {
      const address = $('notes-address');
      address.value = addressOf(text.value);
      address.hidden = false;
      address.select();
      navigator.clipboard?.writeText(address.value).then(
        () => say('The link to this tune is copied.'),
        () => say('Copy the link to this tune from the box below the notes.'));
    });
  }

  // What is wrong with the notes, and where, beside them, in the panel opened.
  function showError(message) {
    $('notes-error').textContent = message;
    $('notes-error').hidden = false;
    $('edit').open = true;
  }

  return { fromAddress, setUp, showError };
})();
