#include "controls/datasource.h"

namespace wendul {

TDataSource::TDataSource(QObject* parent) : QObject(parent) {}

TDataSource::TDataSource(MT* table, QObject* parent) : QObject(parent) { SetDataSet(table); }

TDataSource::~TDataSource() { SetDataSet(nullptr); }

void TDataSource::SetDataSet(MT* table) {
  if (table == table_) return;
  if (table_) table_->RemoveListener(this);
  table_ = table;
  if (table_) table_->AddListener(this);
  if (enabled_) {
    emit DataChange();
    emit OnDataChange(this);
  }
}

void TDataSource::SetEnabled(bool on) {
  if (on == enabled_) return;
  enabled_ = on;
  if (on) {
    emit StateChange();
    emit DataChange();
    emit OnDataChange(this);
  }
}

void TDataSource::TableEvent(MT& table, DataEvent event) {
  if (!enabled_ || &table != table_) return;
  switch (event) {
    case DataEvent::RecordMoved:
      emit RecordMove();
      emit OnDataChange(this);
      break;
    case DataEvent::DataChanged:
    case DataEvent::ControlsEnabled:
      emit DataChange();
      emit OnDataChange(this);
      break;
    case DataEvent::RecordChanged:
      emit RecordChange();
      emit OnDataChange(this);
      break;
    case DataEvent::StateChanged:
      emit StateChange();
      break;
  }
}

}  // namespace wendul
