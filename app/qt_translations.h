// Qt's own dialogs and buttons (file dialogs, the colour dialog, the input box,
// message-box buttons) in Japanese, like the rest of the program.
#pragma once

class QCoreApplication;

namespace pelmora {

// Installs Qt's Japanese translations ("qtbase_ja" from Qt's translations
// folder) into `app`, whatever the desktop's language: the program speaks
// Japanese only. False when the translations are not installed; Qt's English
// texts then stay.
bool LoadQtTranslations(QCoreApplication& app);

}  // namespace pelmora
