// The last music set the listener opened, kept in the browser (IndexedDB)
// for the next visit: its files as they were handed over (a score archive
// and at most a voice archive and a title list, each already bounded in
// size by files.js) and the track the listener was on. Only a set that
// opened is kept, one at a time; forgetting it removes it.

const dbName = 'tambelo';
const storeName = 'last-set';
const key = 'set';

function openDb() {
  return new Promise((resolve, reject) => {
    const request = indexedDB.open(dbName, 1);
    request.onupgradeneeded = () => request.result.createObjectStore(storeName);
    request.onsuccess = () => resolve(request.result);
    request.onerror = () => reject(request.error);
  });
}

// Runs `work(store)` in one transaction; resolves to its request's result.
async function inStore(mode, work) {
  const db = await openDb();
  try {
    return await new Promise((resolve, reject) => {
      const transaction = db.transaction(storeName, mode);
      const request = work(transaction.objectStore(storeName));
      transaction.oncomplete = () => resolve(request?.result);
      transaction.onerror = () => reject(transaction.error);
      transaction.onabort = () => reject(transaction.error ?? new Error('the browser refused to keep the set'));
    });
  } finally {
    db.close();
  }
}

// `files`: the set's Files; `track`: the track the listener is on.
export const rememberSet = (files, track) => inStore('readwrite', (store) => store.put({ files, track }, key));

export async function rememberTrack(track) {
  await inStore('readwrite', (store) => {
    const request = store.get(key);
    request.onsuccess = () => { if (request.result) store.put({ ...request.result, track }, key); };
    return request;
  });
}

// {files, track}, or null when no set is kept (or the browser keeps none).
export async function recalledSet() {
  try {
    return (await inStore('readonly', (store) => store.get(key))) ?? null;
  } catch {
    return null;
  }
}

export const forgetSet = () => inStore('readwrite', (store) => store.delete(key));
