#include "controls/muform.h"

#include <QEvent>
#include <QMetaMethod>
#include <QStatusTipEvent>

namespace wendul {

namespace {

int CommandIndex(const QObject* target, const QString& name) {
  if (!target || !name.startsWith(QLatin1String("Cn"))) return -1;
  const QByteArray signature = QMetaObject::normalizedSignature((name + QStringLiteral("(QObject*)")).toLatin1());
  const QMetaObject* mo = target->metaObject();
  int index = mo->indexOfMethod(signature.constData());
  if (index < 0) return -1;
  QMetaMethod m = mo->method(index);
  if (m.methodType() != QMetaMethod::Slot && m.methodType() != QMetaMethod::Method) return -1;
  return index;
}

}  // namespace

TmuForm::TmuForm(QWidget* parent) : QMainWindow(parent) {}

TmuForm::~TmuForm() { emit OnDestroyMU(this); }

bool TmuForm::event(QEvent* e) {
  if (e->type() == QEvent::StatusTip) {
    emit OnAppHint(static_cast<QStatusTipEvent*>(e)->tip());
    if (!IsAutoHint) return true;
  }
  return QMainWindow::event(e);
}

bool TmuForm::HasCommand(const QObject* target, const QString& name) { return CommandIndex(target, name) >= 0; }

bool TmuForm::InvokeCommand(QObject* target, const QString& name, QObject* sender) {
  const int index = CommandIndex(target, name);
  if (index < 0) return false;
  return target->metaObject()->method(index).invoke(target, Qt::DirectConnection, Q_ARG(QObject*, sender));
}

QStringList TmuForm::CommandNames(const QObject* target) {
  QStringList names;
  if (!target) return names;
  const QMetaObject* mo = target->metaObject();
  for (int i = 0; i < mo->methodCount(); ++i) {
    QMetaMethod m = mo->method(i);
    const QString n = QString::fromLatin1(m.name());
    if (n.startsWith(QLatin1String("Cn")) && m.parameterCount() == 1 &&
        m.parameterType(0) == QMetaType::QObjectStar && !names.contains(n))
      names << n;
  }
  return names;
}

}  // namespace wendul
