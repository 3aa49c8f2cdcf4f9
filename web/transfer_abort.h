// Stopping the HTTP transfers of one thread from another.
//
// A thread names an abort flag; every libcurl transfer that thread runs
// (HttpRequest::Send, the handle layer's send and reads) checks the flag at
// least every 100 ms and ends once it reads true. An ended transfer behaves
// as a failed request: empty body, status 0, reads of 0 bytes.
//
// The flag belongs to the caller and must outlive its use on the thread;
// SetThreadAbortFlag(nullptr) stops watching. Thread-safe: each thread has
// its own setting.
#ifndef QV_WEB_TRANSFER_ABORT_H_
#define QV_WEB_TRANSFER_ABORT_H_

#include <atomic>

namespace qv {

// Watches *flag for the transfers of the calling thread (nullptr: none).
void SetThreadAbortFlag(const std::atomic<bool>* flag);
// True when the calling thread's flag is set.
bool ThreadAbortRequested();

}  // namespace qv

#endif  // QV_WEB_TRANSFER_ABORT_H_
