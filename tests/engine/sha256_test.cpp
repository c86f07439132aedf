#include "sha256.h"

#include <QCryptographicHash>
#include <QRandomGenerator>
#include <gtest/gtest.h>

using zefto::Sha256;

namespace {

class Sha256Test : public testing::TestWithParam<Sha256::Way> {
protected:
    void SetUp() override
    {
        if (GetParam() == Sha256::Way::Instructions && !Sha256::instructionsAvailable())
            GTEST_SKIP() << "this processor has no SHA instructions";
        if (GetParam() == Sha256::Way::Library && !Sha256::libraryAvailable())
            GTEST_SKIP() << "no libcrypto.so.3 here";
    }
    // piece 0: pieces of random sizes up to 200 bytes
    QString digest(const QByteArray &bytes, qsizetype piece)
    {
        Sha256 sha(GetParam());
        for (qsizetype at = 0, n; at < bytes.size(); at += n) {
            n = std::min(piece > 0 ? piece : qsizetype(m_random.bounded(201)), bytes.size() - at);
            sha.add(bytes.constData() + at, n);
        }
        return sha.hex();
    }
    QRandomGenerator m_random{19};
};

TEST_P(Sha256Test, GivesThePublishedDigests)
{
    const std::pair<QByteArray, const char *> cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmno"
         "ijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu",
         "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
        {QByteArray(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto &[message, published] : cases)
        for (const qsizetype piece : {qsizetype(1), qsizetype(64), message.size() + 1})
            EXPECT_EQ(digest(message, piece), QLatin1String(published)) << message.size() << " bytes by " << piece;
}

TEST_P(Sha256Test, AgreesWithQtOnAnyBytesInAnyPieces)
{
    QByteArray all(3 * 65536 + 100, Qt::Uninitialized);
    for (char &c : all)
        c = char(m_random.generate());
    QList<qsizetype> sizes{65535, 65536, 65537, all.size()};
    for (qsizetype size = 0; size <= 200; ++size)
        sizes << size;
    for (const qsizetype size : sizes) {
        const QByteArray bytes = all.left(size);
        const QString qt = QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
        for (const qsizetype piece : {0, 1, 55, 56, 57, 63, 64, 65, 65536})
            EXPECT_EQ(digest(bytes, piece), qt) << size << " bytes by " << piece;
    }
}

// A wrong CPUID bit would lose the speed silently: the kernel's flags say the same.
TEST(Sha256Ways, TheInstructionsAreUsedWhereTheProcessorHasThem)
{
    QFile cpuinfo(QStringLiteral("/proc/cpuinfo"));
    ASSERT_TRUE(cpuinfo.open(QIODevice::ReadOnly));
    const QByteArray flags = cpuinfo.readAll();
    EXPECT_EQ(Sha256::instructionsAvailable(), flags.contains(" sha_ni") && flags.contains(" sse4_1"));
}

INSTANTIATE_TEST_SUITE_P(Ways, Sha256Test,
                         testing::Values(Sha256::Way::Instructions, Sha256::Way::Library, Sha256::Way::Qt),
                         [](const auto &way) {
                             return way.param == Sha256::Way::Qt        ? "Qt"
                                    : way.param == Sha256::Way::Library ? "Library"
                                                                        : "Instructions";
                         });

} // namespace
