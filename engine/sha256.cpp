#include "sha256.h"

#include "sha256blocks.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QtGlobal>
#include <algorithm>
#include <cstring>
#include <optional>

namespace zefto {

namespace {

// The first 32 bits of the fractional parts of the square roots of the first eight primes.
constexpr std::uint32_t initialState[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                           0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

void putBigEndian(unsigned char *to, std::uint64_t value, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i, value >>= 8)
        to[i] = static_cast<unsigned char>(value);
}

} // namespace

struct Sha256::Context {
    std::optional<QCryptographicHash> qt; // set for Way::Qt only
    std::uint32_t state[8];
    unsigned char block[64];  // the bytes of a block not yet complete
    std::size_t held = 0;     // how many of them
    std::uint64_t length = 0; // bytes added in all

    void addBytes(const unsigned char *bytes, std::size_t size);
    QByteArray digest();
};

void Sha256::Context::addBytes(const unsigned char *bytes, std::size_t size)
{
    length += size;
    if (held > 0) {
        const std::size_t taken = std::min(size, sizeof block - held);
        std::memcpy(block + held, bytes, taken);
        held += taken;
        bytes += taken;
        size -= taken;
        if (held < sizeof block)
            return;
        sha256blocks::compress(state, block, 1);
        held = 0;
    }
    if (size >= sizeof block)
        sha256blocks::compress(state, bytes, size / sizeof block);
    held = size % sizeof block;
    std::memcpy(block, bytes + size - held, held);
}

// Pads as SHA-256 requires: a 1 bit, zeros up to 8 bytes short of a block's end, then the
// message's length in bits, big-endian.
QByteArray Sha256::Context::digest()
{
    const std::uint64_t bits = length * 8;
    unsigned char tail[2 * 64] = {0x80};
    const std::size_t tailSize = held < 56 ? 64 - held : 128 - held;
    putBigEndian(tail + tailSize - 8, bits, 8);
    addBytes(tail, tailSize);
    Q_ASSERT(held == 0);
    QByteArray out(32, Qt::Uninitialized);
    for (int i = 0; i < 8; ++i)
        putBigEndian(reinterpret_cast<unsigned char *>(out.data()) + 4 * i, state[i], 4);
    return out;
}

bool Sha256::instructionsAvailable()
{
    return sha256blocks::available();
}

Sha256::Way Sha256::fastest()
{
    return instructionsAvailable() ? Way::Instructions : Way::Qt;
}

Sha256::Sha256(Way way) : m_context(std::make_unique<Context>())
{
    Q_ASSERT(way == Way::Qt || instructionsAvailable());
    if (way == Way::Qt)
        m_context->qt.emplace(QCryptographicHash::Sha256);
    std::memcpy(m_context->state, initialState, sizeof initialState);
}

Sha256::~Sha256() = default;

void Sha256::add(const char *bytes, qsizetype size)
{
    if (m_context->qt)
        m_context->qt->addData(QByteArrayView(bytes, size));
    else
        m_context->addBytes(reinterpret_cast<const unsigned char *>(bytes), std::size_t(size));
}

QString Sha256::hex()
{
    return QString::fromLatin1((m_context->qt ? m_context->qt->result() : m_context->digest()).toHex());
}

} // namespace zefto
