// Applies a case's query parameters to the page: ?title=..&theme=light|dark&font=..&size=..
// and any other name=value pair fills the elements marked data-param="name".
(function () {
  const params = new URLSearchParams(window.location.search);
  const root = document.documentElement;
  if (params.has("font")) root.style.setProperty("--font", "'" + params.get("font") + "'");
  if (params.has("size")) root.style.setProperty("--size", params.get("size") + "px");
  document.body.classList.add("theme-" + (params.get("theme") || "light"));
  for (const [name, value] of params) {
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
  document.title = params.get("title") || document.title;
})();
