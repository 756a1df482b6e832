// CreateFormInstance: a window made on demand and kept in a reference. The
// main window opens the word book and the viewer windows this way when they
// are not open yet; the reference empties itself when the window is gone.
#pragma once

#include <QPointer>
#include <utility>

namespace wendul {

template <class Form, class... Args>
Form* CreateFormInstance(QPointer<Form>& ref, Args&&... args) {
  ref = new Form(std::forward<Args>(args)...);
  return ref.data();
}

}  // namespace wendul
