#pragma once

class QLocale;

namespace zefto::ui {

// Installs this program's translation for `locale` on the running application,
// with Qt's own for the texts Qt draws (standard buttons, --help), so a window
// built afterwards speaks one language. False, with nothing installed, when
// the program has no translation for that locale: it then stays in English.
bool installTranslators(const QLocale &locale);

// Takes out whatever installTranslators put in.
void removeTranslators();

} // namespace zefto::ui
