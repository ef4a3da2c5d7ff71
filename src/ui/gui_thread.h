// Moving a call onto the thread that owns a Qt object.
//
// The receive thread reaches the install dialog's windows only through
// calls that run on the GUI thread while the caller waits, as window calls
// across threads do on the system this was designed for. The GUI thread must
// be handling events meanwhile (the modal install dialog does); a call made
// on the owning thread itself runs at once, so it cannot wait on itself.
#pragma once

#include <QMetaObject>
#include <QObject>
#include <QThread>

#include <type_traits>
#include <utility>

namespace hovane::ui {

// Runs work on context's thread and returns its result. From another thread
// the caller blocks until work has run. When context is destroyed before
// its thread gets to the call, work does not run and the caller gets a
// value-initialised result. context must be alive when the call is made.
template <typename Work>
std::invoke_result_t<Work&> RunOnThreadOf(QObject* context, Work&& work) {
  using Result = std::invoke_result_t<Work&>;
  if (QThread::currentThread() == context->thread()) return work();
  if constexpr (std::is_void_v<Result>) {
    QMetaObject::invokeMethod(
        context, [&work] { work(); }, Qt::BlockingQueuedConnection);
  } else {
    Result result{};
    QMetaObject::invokeMethod(
        context, [&work, &result] { result = work(); }, Qt::BlockingQueuedConnection);
    return result;
  }
}

// Asks context's thread to run work later and returns at once; work is
// dropped when context is destroyed first.
template <typename Work>
void PostToThreadOf(QObject* context, Work&& work) {
  QMetaObject::invokeMethod(context, std::forward<Work>(work), Qt::QueuedConnection);
}

}  // namespace hovane::ui
