// The shell's rules in the form the Qt side uses: the dialog filters as Qt name filters and
// the command context read from the main window.
#pragma once

#include <QStringList>

#include <string>

#include "app/ShellRules.h"

namespace tintara {
class TMainForm;
}

namespace tintara::shell {

// "text|patterns|..." as Qt's "text (patterns)" entries, the patterns separated by spaces.
QStringList QtFilters(const std::string& piped);
QStringList PictureOpenFilters();
QStringList PictureSaveFilters();
QStringList LayerSaveFilters();
QStringList EventOpenFilters();
QStringList EventSaveFilters();

CommandContext ContextOf(const TMainForm& form);

}  // namespace tintara::shell
