#pragma once

#include "sha256.h"

#include <QString>
#include <array>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace zefto {

// SHA-256 (exactly Sha256's) of bytes handed over piece by piece, hashed on a
// thread of its own so that the caller's reading goes on meanwhile. Each piece
// is copied into one of a few chunks the thread hands back once hashed; the
// caller waits only when all of them are still to be hashed. Where no thread
// can be started, the bytes are hashed at once, on the caller's thread.
class BackgroundSha256 {
public:
    // A chunk's size: the report reader's buffer, so that one read is one copy.
    static constexpr qsizetype chunkSize = 64 * 1024;

    BackgroundSha256(); // throws std::bad_alloc when OpenSSL cannot set one up
    // Stops the thread and waits for it, whatever was left unhashed.
    ~BackgroundSha256();
    BackgroundSha256(const BackgroundSha256 &) = delete;
    BackgroundSha256 &operator=(const BackgroundSha256 &) = delete;

    void add(const char *bytes, qsizetype size);
    // The digest of everything added, in lower-case hex; once, after the last add.
    QString hex();
    // Whether the bytes go to a thread (false: hashed on the caller's).
    bool threaded() const { return m_worker.joinable(); }

private:
    static constexpr int chunks = 8;
    // Either side, once asleep, is woken only when this many chunks are ready for it: waking a
    // thread costs the waker some 15 µs on this virtual machine, as much as hashing 25 KiB.
    static constexpr int batch = chunks / 2;

    void work();
    void stop(bool abandon);

    Sha256 m_digest; // set up by the caller; fed by the thread; read by the caller after the thread ends
    std::array<std::vector<char>, chunks> m_chunks;
    std::array<qsizetype, chunks> m_lengths{};
    std::mutex m_mutex;              // guards the four below
    int m_next = 0;                  // the chunk the thread hashes next
    int m_queued = 0;                // chunks handed over and not yet hashed, from m_next on
    bool m_ending = false;           // no more chunks will come
    bool m_abandoned = false;        // stop at once, hashed or not
    std::condition_variable m_work;  // a chunk or the end came
    std::condition_variable m_space; // a chunk was hashed
    std::thread m_worker;            // last: it starts once everything above is made
};

} // namespace zefto
