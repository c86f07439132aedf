#include "sha256.h"

#include <QByteArray>
#include <new>
#include <openssl/crypto.h>
#include <openssl/evp.h>

namespace zefto {

struct Sha256::Context {
    EVP_MD_CTX *ctx = EVP_MD_CTX_new();
    ~Context() { EVP_MD_CTX_free(ctx); }
};

// OpenSSL sets itself up on first use; when that fails for want of memory its
// locks are left null and the next call crashes, so the outcome is asked first.
Sha256::Sha256() : m_context(OPENSSL_init_crypto(0, nullptr) == 1 ? std::make_unique<Context>() : nullptr)
{
    if (!m_context || !m_context->ctx || EVP_DigestInit_ex(m_context->ctx, EVP_sha256(), nullptr) != 1)
        throw std::bad_alloc();
}

Sha256::~Sha256() = default;

void Sha256::add(const char *bytes, qsizetype size)
{
    EVP_DigestUpdate(m_context->ctx, bytes, size_t(size));
}

QString Sha256::hex()
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(m_context->ctx, digest, &length);
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(digest), int(length)).toHex());
}

} // namespace zefto
