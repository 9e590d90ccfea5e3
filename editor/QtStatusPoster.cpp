#include "QtStatusPoster.h"

#include <QMetaObject>
#include <QObject>
#include <utility>

void TQtStatusPoster::Post(std::function<void()> call) {
  QMetaObject::invokeMethod(Target, std::move(call), Qt::QueuedConnection);
}
