// What the word book's and the Mozc dictionary's exchanges with files share
// on screen: their file dialogs, and an export or import run under the
// progress dialog with the messages for a cancel and for errors.
#pragma once

#include <QFileDialog>
#include <QString>
#include <cstdint>
#include <functional>

#include "wordbook/tabletext.h"

namespace wendul {

// A file dialog of the word book's kind: named, filtered, with the default
// suffix; a save dialog never asks about replacing (the caller asks). Its
// icons and types come from the file names alone: judging files by content
// reads every file of a listed folder, and a pipe or a device there never
// answers.
QFileDialog* MakeExchangeDialog(QWidget* parent, const char* name, QFileDialog::AcceptMode mode,
                                const QString& filter, const QString& suffix);

enum class ExchangeKind { Export, Import };

// Runs work with the progress dialog ("書き出し中" / "読み込み中"; total: the
// bar's end, records for an export, bytes for an import). A cancelled import
// says that the table is as it was; an error is shown (an import's with the
// same words). True when the work completed.
bool RunExchange(QWidget* owner, ExchangeKind kind, int64_t total, const std::function<void(const TextCount&)>& work);

}  // namespace wendul
