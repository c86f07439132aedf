#include "translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <memory>
#include <vector>

namespace zefto::ui {
namespace {

std::vector<std::unique_ptr<QTranslator>> &installed()
{
    static std::vector<std::unique_ptr<QTranslator>> translators;
    return translators;
}

} // namespace

bool installTranslators(const QLocale &locale)
{
    removeTranslators();
    auto own = std::make_unique<QTranslator>();
    // Built into the program as a resource: no installed file can be missing or stale.
    if (!own->load(locale, QStringLiteral("zefto"), QStringLiteral("_"), QStringLiteral(":/i18n")))
        return false;
    QCoreApplication::installTranslator(own.get());
    installed().push_back(std::move(own));
    // Qt's own words; without them the program's Turkish sits beside Qt's English, which is still usable.
    auto qt = std::make_unique<QTranslator>();
    if (qt->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(qt.get());
        installed().push_back(std::move(qt));
    }
    return true;
}

void removeTranslators()
{
    for (const auto &t : installed())
        QCoreApplication::removeTranslator(t.get());
    installed().clear();
}

} // namespace zefto::ui
