#pragma once

#include <QString>
#include <memory>

namespace zefto {

// The SHA-256 of bytes handed over piece by piece, through OpenSSL, which
// uses the processor's hash instructions.
class Sha256 {
public:
    Sha256(); // throws std::bad_alloc when OpenSSL cannot set one up
    ~Sha256();
    Sha256(const Sha256 &) = delete;
    Sha256 &operator=(const Sha256 &) = delete;

    void add(const char *bytes, qsizetype size);
    // The digest of everything added, in lower-case hex.
    QString hex();

private:
    struct Context;
    std::unique_ptr<Context> m_context;
};

} // namespace zefto
