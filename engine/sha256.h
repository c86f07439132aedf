#pragma once

#include <QString>
#include <memory>

namespace zefto {

// The SHA-256 of bytes handed over piece by piece: with the processor's SHA
// instructions where it has them (several times faster than Qt's), otherwise
// through the system's OpenSSL, loaded only then, and through Qt where there is
// none. All give the same digest, which the log keeps across versions.
class Sha256 {
public:
    enum class Way {
        Instructions, // the x86 SHA extensions; only where instructionsAvailable()
        Library,      // libcrypto's, loaded when first asked for; only where libraryAvailable()
        Qt,           // QCryptographicHash, anywhere
    };
    static bool instructionsAvailable(); // asked of the processor once
    static bool libraryAvailable();      // libcrypto looked for once
    static Way fastest();

    Sha256() : Sha256(fastest()) {}
    // std::bad_alloc when the library cannot set itself up.
    explicit Sha256(Way way);
    ~Sha256();
    Sha256(const Sha256 &) = delete;
    Sha256 &operator=(const Sha256 &) = delete;

    void add(const char *bytes, qsizetype size);
    // The digest of everything added, in lower-case hex; asked once, after the last add().
    QString hex();

private:
    struct Context;
    std::unique_ptr<Context> m_context;
};

} // namespace zefto
