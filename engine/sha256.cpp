#include "sha256.h"

#include "sha256blocks.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QLibrary>
#include <QtGlobal>
#include <algorithm>
#include <cstring>
#include <new>
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

// OpenSSL's digest functions, resolved from the system's libcrypto: processors
// without the SHA instructions hash several times faster with its vector code
// than with Qt's, and programs on processors with them never load it.
struct Crypto {
    using New = void *(*)();
    using Free = void (*)(void *);
    using Md = const void *(*)();
    using Init = int (*)(void *, const void *, void *);
    using Update = int (*)(void *, const void *, std::size_t);
    using Final = int (*)(void *, unsigned char *, unsigned int *);
    using Setup = int (*)(std::uint64_t, const void *);
    New ctxNew = nullptr;
    Free ctxFree = nullptr;
    Md sha256 = nullptr;
    Init init = nullptr;
    Update update = nullptr;
    Final final = nullptr;
    Setup setup = nullptr;
};

const Crypto *crypto()
{
    static const std::optional<Crypto> loaded = []() -> std::optional<Crypto> {
        QLibrary lib(QStringLiteral("crypto"), 3);
        if (!lib.load())
            return std::nullopt;
        Crypto c;
        c.ctxNew = reinterpret_cast<Crypto::New>(lib.resolve("EVP_MD_CTX_new"));
        c.ctxFree = reinterpret_cast<Crypto::Free>(lib.resolve("EVP_MD_CTX_free"));
        c.sha256 = reinterpret_cast<Crypto::Md>(lib.resolve("EVP_sha256"));
        c.init = reinterpret_cast<Crypto::Init>(lib.resolve("EVP_DigestInit_ex"));
        c.update = reinterpret_cast<Crypto::Update>(lib.resolve("EVP_DigestUpdate"));
        c.final = reinterpret_cast<Crypto::Final>(lib.resolve("EVP_DigestFinal_ex"));
        c.setup = reinterpret_cast<Crypto::Setup>(lib.resolve("OPENSSL_init_crypto"));
        if (!c.ctxNew || !c.ctxFree || !c.sha256 || !c.init || !c.update || !c.final || !c.setup)
            return std::nullopt; // left loaded: unloading a library that set itself up is not safe
        return c;
    }();
    return loaded ? &*loaded : nullptr;
}

} // namespace

struct Sha256::Context {
    ~Context()
    {
        if (ctx)
            crypto()->ctxFree(ctx);
    }
    std::optional<QCryptographicHash> qt; // set for Way::Qt only
    void *ctx = nullptr;                  // set for Way::Library only
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

bool Sha256::libraryAvailable()
{
    return crypto() != nullptr;
}

Sha256::Way Sha256::fastest()
{
    if (instructionsAvailable())
        return Way::Instructions;
    return libraryAvailable() ? Way::Library : Way::Qt;
}

Sha256::Sha256(Way way) : m_context(std::make_unique<Context>())
{
    Q_ASSERT(way == Way::Qt || (way == Way::Instructions ? instructionsAvailable() : libraryAvailable()));
    if (way == Way::Qt)
        m_context->qt.emplace(QCryptographicHash::Sha256);
    if (way == Way::Library) {
        // OpenSSL sets itself up on first use; when that fails for want of memory its
        // locks are left null and the next call crashes, so the outcome is asked first.
        const Crypto *c = crypto();
        if (c->setup(0, nullptr) != 1 || !(m_context->ctx = c->ctxNew())
            || c->init(m_context->ctx, c->sha256(), nullptr) != 1)
            throw std::bad_alloc();
    }
    std::memcpy(m_context->state, initialState, sizeof initialState);
}

Sha256::~Sha256() = default;

void Sha256::add(const char *bytes, qsizetype size)
{
    if (m_context->qt)
        m_context->qt->addData(QByteArrayView(bytes, size));
    else if (m_context->ctx)
        crypto()->update(m_context->ctx, bytes, std::size_t(size));
    else
        m_context->addBytes(reinterpret_cast<const unsigned char *>(bytes), std::size_t(size));
}

QString Sha256::hex()
{
    if (m_context->ctx) {
        unsigned char digest[64]; // EVP_MAX_MD_SIZE
        unsigned int length = 0;
        crypto()->final(m_context->ctx, digest, &length);
        return QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(digest), int(length)).toHex());
    }
    return QString::fromLatin1((m_context->qt ? m_context->qt->result() : m_context->digest()).toHex());
}

} // namespace zefto
