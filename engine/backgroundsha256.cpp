#include "backgroundsha256.h"

#include <QtGlobal>
#include <algorithm>
#include <cstring>
#include <new>
#include <system_error>

namespace zefto {

BackgroundSha256::BackgroundSha256()
{
    try {
        // Filled now, so a run's memory is the same whatever the size of its report.
        for (std::vector<char> &chunk : m_chunks)
            chunk.resize(size_t(chunkSize));
        m_worker = std::thread([this] { work(); });
    } catch (const std::system_error &) {
        // No thread to be had (a process limit, no memory for its stack): hashed inline.
    } catch (const std::bad_alloc &) {
        // No room for the chunks or the thread's state: likewise.
    }
}

BackgroundSha256::~BackgroundSha256()
{
    stop(true);
}

void BackgroundSha256::add(const char *bytes, qsizetype size)
{
    Q_ASSERT(!m_ending);
    if (!threaded()) {
        m_digest.add(bytes, size);
        return;
    }
    while (size > 0) {
        std::unique_lock lock(m_mutex);
        if (m_queued == chunks)
            m_space.wait(lock, [this] { return m_queued <= chunks - batch; });
        const int slot = (m_next + m_queued) % chunks;
        lock.unlock();
        // The thread reads only queued chunks: this one is ours until it is counted in.
        const qsizetype n = std::min(size, chunkSize);
        std::memcpy(m_chunks[size_t(slot)].data(), bytes, size_t(n));
        m_lengths[size_t(slot)] = n;
        lock.lock();
        const bool wake = ++m_queued >= batch;
        lock.unlock();
        if (wake)
            m_work.notify_one();
        bytes += n;
        size -= n;
    }
}

QString BackgroundSha256::hex()
{
    stop(false);
    m_ending = true; // the thread, if any, has ended: nothing else reads it now
    return m_digest.hex();
}

// Hashes the queued chunks in order; when the end is told, returns once
// every chunk is hashed, or at once when it is abandoned.
void BackgroundSha256::work()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (m_queued == 0)
            m_work.wait(lock, [this] { return m_queued >= batch || m_ending; });
        if (m_abandoned || m_queued == 0)
            return;
        const int slot = m_next;
        lock.unlock();
        m_digest.add(m_chunks[size_t(slot)].data(), m_lengths[size_t(slot)]);
        lock.lock();
        m_next = (m_next + 1) % chunks;
        --m_queued;
        if (m_queued <= chunks - batch)
            m_space.notify_one();
    }
}

void BackgroundSha256::stop(bool abandon)
{
    if (!m_worker.joinable())
        return;
    {
        const std::lock_guard lock(m_mutex);
        m_ending = true;
        m_abandoned = abandon;
    }
    m_work.notify_one();
    m_worker.join();
}

} // namespace zefto
