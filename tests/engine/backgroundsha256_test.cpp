#include "backgroundsha256.h"

#include <QCryptographicHash>
#include <QDir>
#include <gtest/gtest.h>

using zefto::BackgroundSha256;

namespace {

constexpr qsizetype chunk = BackgroundSha256::chunkSize;

// n bytes that differ from chunk to chunk, so a chunk hashed twice or out of order shows.
QByteArray pattern(qsizetype n)
{
    QByteArray out(n, Qt::Uninitialized);
    for (qsizetype i = 0; i < n; ++i)
        out[i] = char(i * 7 + i / 251);
    return out;
}

qsizetype threadsRunning()
{
    return QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size();
}

QString hashedInPieces(const QByteArray &bytes, qsizetype piece)
{
    BackgroundSha256 digest;
    EXPECT_TRUE(digest.threaded());
    for (qsizetype at = 0; at < bytes.size(); at += piece)
        digest.add(bytes.constData() + at, std::min(piece, bytes.size() - at));
    return digest.hex();
}

TEST(BackgroundSha256Test, EveryChunkingGivesTheOneShotDigest)
{
    struct Case {
        QByteArray bytes;
        QByteArray expected; // FIPS 180-2's examples; the rest from Qt's own SHA-256
    };
    const QList<Case> cases = {
        {QByteArray(), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {QByteArray(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
        {pattern(1), {}},
        {pattern(chunk - 1), {}},
        {pattern(chunk), {}},
        {pattern(chunk + 1), {}},
        {pattern(9 * chunk + 17), {}}, // more than the chunks there are: the caller waits for the thread
    };
    for (const Case &c : cases) {
        const QByteArray expected =
            c.expected.isEmpty() ? QCryptographicHash::hash(c.bytes, QCryptographicHash::Sha256).toHex() : c.expected;
        for (const qsizetype piece : {qsizetype(1), qsizetype(7), chunk - 1, chunk, 3 * chunk + 5}) {
            if (piece == 1 && c.bytes.size() > 2 * chunk)
                continue; // a byte at a time is slow and shows nothing more past two chunks
            EXPECT_EQ(hashedInPieces(c.bytes, piece), QString::fromLatin1(expected))
                << c.bytes.size() << " bytes in pieces of " << piece;
        }
    }
}

TEST(BackgroundSha256Test, ItsThreadEndsWithTheDigestOrWhenAbandonedMidway)
{
    const QByteArray bytes = pattern(7 * chunk + 3);
    const qsizetype before = threadsRunning();
    for (const qsizetype handedOver : {qsizetype(0), chunk / 2, bytes.size()}) {
        for (const bool finished : {false, true}) {
            BackgroundSha256 digest;
            ASSERT_EQ(threadsRunning(), before + 1);
            digest.add(bytes.constData(), handedOver);
            if (finished) {
                digest.hex();
                EXPECT_EQ(threadsRunning(), before) << handedOver;
            }
        } // abandoned: the destructor stops the thread and waits for it (a hang is the failure)
        EXPECT_EQ(threadsRunning(), before) << handedOver;
    }
}

} // namespace
