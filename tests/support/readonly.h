#pragma once

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>

// Makes a file or directory unwritable even for root (who ignores the mode
// bits) by also setting the immutable attribute; undone on destruction.
class ReadOnly {
public:
    explicit ReadOnly(const QString &path) : m_path(path)
    {
        m_permissions = QFile::permissions(path);
        QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther | QFile::ExeOwner
                                        | QFile::ExeGroup | QFile::ExeOther);
        if (QFileInfo(path).isWritable())
            m_immutable = QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), path}) == 0;
    }
    ~ReadOnly()
    {
        if (m_immutable)
            QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), m_path});
        QFile::setPermissions(m_path, m_permissions);
    }
    ReadOnly(const ReadOnly &) = delete;
    ReadOnly &operator=(const ReadOnly &) = delete;

    // False where neither the mode bits nor the attribute could stop writes.
    bool effective() const { return !QFileInfo(m_path).isWritable(); }

private:
    QString m_path;
    QFile::Permissions m_permissions;
    bool m_immutable = false;
};
