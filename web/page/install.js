// Installing the page for use off line (sw.js), and the switch to a newer
// version once the browser has fetched one: `offer(takeOver)` is called
// with the function that makes the new version take over (the page then
// reloads, and the remembered set comes back).
export function keepForOffline(offer) {
  if (!('serviceWorker' in navigator)) return;
  const { serviceWorker } = navigator;
  // The first worker takes over the open page without a reload.
  const hadController = serviceWorker.controller !== null;
  let reloading = false;
  serviceWorker.addEventListener('controllerchange', () => {
    if (!hadController || reloading) return;
    reloading = true;
    window.location.reload();
  });
  serviceWorker.register('sw.js').then((registration) => {
    const offerWhenInstalled = (worker) => {
      if (worker.state === 'installed' && serviceWorker.controller) offer(() => worker.postMessage('take-over'));
    };
    if (registration.waiting) offerWhenInstalled(registration.waiting);
    registration.addEventListener('updatefound', () => {
      const worker = registration.installing;
      worker?.addEventListener('statechange', () => offerWhenInstalled(worker));
    });
  }, () => {});
}
