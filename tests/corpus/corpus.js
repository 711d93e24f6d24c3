// Applies a case's query parameters to the page: ?title=..&theme=light|dark&font=..&size=..
// and any other name=value pair fills the elements marked data-param="name". Three more shape
// the backdrop: css=<rules> adds style rules, texture=noise|photo paints a fixed random picture
// into --texture (for `background-image: var(--texture)`), motion=canvas|video puts animated
// content behind the whole page, drawn on a canvas or played from it through a video element.
// c-<name>=RRGGBB sets the colour variable --c-<name>. Served with follow=<version>, the page
// polls /state.json and loads the query of every newer state it is given, then reports that
// version once it has painted.
(function () {
  const params = new URLSearchParams(window.location.search);
  const root = document.documentElement;
  if (params.has("font")) root.style.setProperty("--font", "'" + params.get("font") + "'");
  if (params.has("size")) root.style.setProperty("--size", params.get("size") + "px");
  document.body.classList.add("theme-" + (params.get("theme") || "light"));
  for (const [name, value] of params) {
    // c-<name>=RRGGBB sets the colour variable --c-<name>.
    if (name.startsWith("c-")) {
      root.style.setProperty("--" + name, "#" + value);
      continue;
    }
    document.body.dataset[name] = value;
    for (const element of document.querySelectorAll('[data-param="' + name + '"]')) {
      element.textContent = value;
    }
  }
  for (const element of document.querySelectorAll("[data-when]")) {
    const [name, value] = element.dataset.when.split("=");
    if ((params.get(name) || "") !== value) element.remove();
  }
  for (const element of document.querySelectorAll("[data-unless]")) {
    const [name, value] = element.dataset.unless.split("=");
    if ((params.get(name) || "") === value) element.remove();
  }
  if (params.has("css")) {
    const style = document.createElement("style");
    style.textContent = params.get("css");
    document.head.appendChild(style);
  }
  // The same picture on every run: a small linear congruential generator.
  let seed = 12345;
  const random = () => (seed = (seed * 1103515245 + 12345) % 2147483648) / 2147483648;
  if (params.has("texture")) {
    const canvas = document.createElement("canvas");
    canvas.width = 480;
    canvas.height = 240;
    const ctx = canvas.getContext("2d");
    if (params.get("texture") === "noise") {
      const base = (params.get("texbase") || "808080").match(/../g).map((h) => parseInt(h, 16));
      const spread = Number(params.get("texamp") || "60");
      const data = ctx.createImageData(canvas.width, canvas.height);
      for (let i = 0; i < data.data.length; i += 4) {
        const shift = (random() - 0.5) * spread;
        for (let c = 0; c < 3; ++c) data.data[i + c] = base[c] + shift + (random() - 0.5) * spread / 3;
        data.data[i + 3] = 255;
      }
      ctx.putImageData(data, 0, 0);
    } else {
      // Photo-like: soft blobs of colour over a mid-tone ground.
      ctx.fillStyle = "#5b6b7a";
      ctx.fillRect(0, 0, canvas.width, canvas.height);
      ctx.filter = "blur(6px)";
      for (let i = 0; i < 40; ++i) {
        ctx.fillStyle = "hsl(" + Math.floor(random() * 360) + ",45%," + Math.floor(25 + random() * 45) + "%)";
        ctx.beginPath();
        ctx.arc(random() * canvas.width, random() * canvas.height, 8 + random() * 40, 0, 2 * Math.PI);
        ctx.fill();
      }
    }
    document.documentElement.style.setProperty("--texture", "url(" + canvas.toDataURL() + ")");
  }
  if (params.has("motion")) {
    const canvas = document.createElement("canvas");
    canvas.width = window.innerWidth;
    canvas.height = window.innerHeight;
    const ctx = canvas.getContext("2d");
    const blobs = Array.from({ length: 12 }, () => ({
      x: random() * canvas.width, y: random() * canvas.height, r: 20 + random() * 80,
      dx: (random() - 0.5) * 6, dy: (random() - 0.5) * 6, hue: Math.floor(random() * 360) }));
    let frame = 0;
    const draw = () => {
      frame += 1;
      const ground = ctx.createLinearGradient(0, 0, canvas.width, canvas.height);
      ground.addColorStop(0, "hsl(" + (frame % 360) + ",40%,30%)");
      ground.addColorStop(1, "hsl(" + ((frame + 120) % 360) + ",40%,55%)");
      ctx.fillStyle = ground;
      ctx.fillRect(0, 0, canvas.width, canvas.height);
      for (const b of blobs) {
        b.x = (b.x + b.dx + canvas.width) % canvas.width;
        b.y = (b.y + b.dy + canvas.height) % canvas.height;
        ctx.fillStyle = "hsl(" + b.hue + ",60%,60%)";
        ctx.beginPath();
        ctx.arc(b.x, b.y, b.r, 0, 2 * Math.PI);
        ctx.fill();
      }
      requestAnimationFrame(draw);
    };
    draw();
    let shown = canvas;
    if (params.get("motion") === "video") {
      shown = document.createElement("video");
      shown.muted = true;
      shown.autoplay = true;
      shown.srcObject = canvas.captureStream(30);
      shown.play();
    }
    shown.style.cssText = "position:fixed;left:0;top:0;width:100%;height:100%;z-index:-1;object-fit:cover";
    document.body.appendChild(shown);
  }
  document.title = params.get("title") || document.title;
  if (params.has("follow")) {
    const version = Number(params.get("follow"));
    let shown = -1;
    // Two animation frames: the state has been painted, not only laid out.
    requestAnimationFrame(() => requestAnimationFrame(() => { shown = version; }));
    const poll = async () => {
      try {
        const response = await fetch("/state.json?shown=" + shown, { cache: "no-store" });
        const state = await response.json();
        if (typeof state.query === "string" && state.version > version) {
          window.location.replace("?" + state.query + "&follow=" + state.version);
          return;
        }
      } catch (error) {
        // The server is not there yet or has gone: ask again.
      }
      setTimeout(poll, 150);
    };
    poll();
  }
})();
