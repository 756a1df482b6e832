// Qt's own file dialog as the program shows it.
#pragma once

class QFileDialog;
class QString;

namespace wendul {

// Sizes and dates in the dialog's list written the Japanese way whatever the
// desktop's language ("34 バイト", "2024/05/03 10:20", not "34 bytes",
// "3 May ...:20"), and a size at which the list's columns are readable.
void ShowFilesTheJapaneseWay(QFileDialog* dialog);

// A file's size as the list shows it: bytes below 1 KB, else KB, MB or GB
// with one decimal.
QString FileSizeText(long long bytes);

}  // namespace wendul
