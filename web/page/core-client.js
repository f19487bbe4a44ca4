// The page's side of the core's worker (core-worker.js): requests answered
// by promises, and the worker's own reports handed to listeners by type.

export class CoreClient {
  constructor(url = 'core-worker.js') {
    this.worker = new Worker(url);
    this.pending = new Map();
    this.lastId = 0;
    this.listeners = {};
    this.worker.onmessage = (event) => this.receive(event.data);
    this.worker.onerror = (event) => this.failAll(event.message || 'the core could not be started');
  }

  receive(data) {
    if (data.type) {
      this.listeners[data.type]?.(data);
      return;
    }
    const waiting = this.pending.get(data.id);
    this.pending.delete(data.id);
    if (data.error !== undefined) waiting?.reject(new Error(data.error));
    else waiting?.resolve(data.result);
  }

  failAll(text) {
    for (const waiting of this.pending.values()) waiting.reject(new Error(text));
    this.pending.clear();
  }

  request(op, args = {}, transfer = []) {
    if (this.closed) return Promise.reject(new Error(this.closed));
    const id = ++this.lastId;
    return new Promise((resolve, reject) => {
      this.pending.set(id, { resolve, reject });
      this.worker.postMessage({ id, op, ...args }, transfer);
    });
  }

  on(type, listener) { this.listeners[type] = listener; }

  // Ends the worker; what was asked of it fails with `reason`.
  close(reason) {
    this.closed = reason;
    this.worker.terminate();
    this.failAll(reason);
  }
}
