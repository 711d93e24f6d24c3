// Shows the state that the test serves. Polls /state.json every 300 ms without caching and
// reports, with each poll, the version of the state it shows. For every key of the state:
//   - the body carries it as data-<key>, for the page's styles;
//   - elements marked data-field="key" show its value;
//   - elements marked data-clock="key" show it as a running call timer (m:ss, mm:ss or h:mm:ss)
//     that counts on from the value until the value changes;
//   - elements marked data-when="key=value" are shown only while the key has that value.
// Like a live web app that shows nothing new: with "busy" set, the page renders its elements
// marked data-redraw again four times a second (new nodes, the same pixels) and a spinner turns
// in its bottom-right corner, away from where the monitors read; with "spinner" set, only the
// spinner turns.
// {"close": true} closes the window, {"goto": "page.html"} navigates away from the page and
// {"title": "..."} retitles it; with "window": "<title>" beside them, only the window of that
// title does so.
(function () {
  let shown = -1;
  const clocks = new Map();

  const seconds = (text) => text.split(':').reduce((total, part) => total * 60 + Number(part), 0);
  const formatLike = (total, like) => {
    const parts = like.split(':');
    const out = [];
    for (let i = parts.length - 1; i >= 0; --i) {
      const unit = i === 0 ? total : total % 60;
      total = Math.floor(total / 60);
      out.unshift(String(unit).padStart(parts[i].length, '0'));
    }
    return out.join(':');
  };
  const tick = () => {
    for (const element of document.querySelectorAll('[data-clock]')) {
      const clock = clocks.get(element.dataset.clock);
      if (!clock) { element.textContent = ''; continue; }
      const elapsed = Math.floor((Date.now() - clock.since) / 1000);
      element.textContent = formatLike(seconds(clock.value) + elapsed, clock.value);
    }
  };

  let spinner = null;
  let redraw = false;
  const spin = (on) => {
    if (on && !spinner) {
      spinner = document.createElement('div');
      spinner.style.cssText = 'position: fixed; right: 14px; bottom: 14px; width: 18px; height: 18px; ' +
        'border: 3px solid #94a3b8; border-top-color: transparent; border-radius: 50%;';
      document.body.appendChild(spinner);
      spinner.animate([{ transform: 'rotate(0deg)' }, { transform: 'rotate(360deg)' }],
                      { duration: 900, iterations: Infinity });
    } else if (!on && spinner) {
      spinner.remove();
      spinner = null;
    }
  };
  setInterval(() => {
    if (!redraw) return;
    for (const element of document.querySelectorAll('[data-redraw]')) element.replaceWith(element.cloneNode(true));
  }, 250);

  const apply = (state) => {
    for (const [key, value] of Object.entries(state)) {
      if (key !== 'version') document.body.dataset[key] = String(value);
    }
    for (const element of document.querySelectorAll('[data-field]')) {
      const value = state[element.dataset.field];
      element.textContent = value == null ? '' : String(value);
    }
    for (const element of document.querySelectorAll('[data-clock]')) {
      const key = element.dataset.clock;
      const value = state[key] ? String(state[key]) : '';
      const clock = clocks.get(key);
      if (!value) clocks.delete(key);
      else if (!clock || clock.value !== value) clocks.set(key, { value, since: Date.now() });
    }
    for (const element of document.querySelectorAll('[data-when]')) {
      const [key, value] = element.dataset.when.split('=');
      element.hidden = String(state[key] ?? '') !== value;
    }
    spin(Boolean(state.busy || state.spinner));
    redraw = Boolean(state.busy);
    tick();
  };

  const poll = async () => {
    try {
      const response = await fetch('/state.json?shown=' + shown, { cache: 'no-store' });
      const state = await response.json();
      if (state.version !== shown) {
        const mine = !state.window || state.window === document.title;
        if (mine && state.close) { window.close(); return; }
        if (mine && state.goto) { window.location.href = state.goto; return; }
        if (mine && typeof state.title === 'string') document.title = state.title;
        apply(state);
        shown = state.version;
      }
    } catch (error) {
      // The server is going away with the test; nothing to show.
    }
    setTimeout(poll, 300);
  };
  setInterval(tick, 250);
  poll();
})();
