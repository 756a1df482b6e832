// TDataSource: the link between a table (MT) and the controls that show it.
// It listens to the table and passes the table's notifications on as Qt
// signals; switched off (Enabled false) it passes nothing, so a grid does not
// follow every change of a long run of edits, and when switched on again it
// announces one full data change.
#pragma once

#include <QObject>

#include "store/mt.h"

namespace wendul {

class TDataSource : public QObject, public MTListener {
  Q_OBJECT

 public:
  explicit TDataSource(QObject* parent = nullptr);
  explicit TDataSource(MT* table, QObject* parent = nullptr);
  // Detaches from the table: destroy the data source before its table, or
  // detach it with SetDataSet(nullptr).
  ~TDataSource() override;

  // The table followed; nullptr detaches.
  void SetDataSet(MT* table);
  MT* DataSet() const { return table_; }

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool on);

  void TableEvent(MT& table, DataEvent event) override;

 signals:
  // Content, order or filter changed: re-read what is shown.
  void DataChange();
  // The current record is another one.
  void RecordMove();
  // A field of the current record changed in the edit buffer.
  void RecordChange();
  void StateChange();
  // The owner's handler: fires on every data change, record move and record
  // change, like the data source's data-change event.
  void OnDataChange(TDataSource* sender);

 private:
  MT* table_ = nullptr;
  bool enabled_ = true;
};

}  // namespace wendul
