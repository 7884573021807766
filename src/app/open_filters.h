#pragma once
// The file type filters of the two open-file dialogs.
#include <QStringList>

namespace vexa::app {

// The filters in Qt's form, "description (*.a *.b)", in order; the first,
// every file, is the one a dialog starts on. Descriptions that name their
// patterns keep their words, with the patterns written the Qt way.
QStringList OpenDialogFilters();

}  // namespace vexa::app
