#include "frontend/qt/remembered_set.h"

#include <QFileInfo>
#include <QSettings>

namespace tambelo::frontend {

namespace {

constexpr const char* last_set_key = "lastSet";

}  // namespace

QString remembered_set() { return QSettings("tambelo", "tambelo").value(last_set_key).toString(); }

void remember_set(const QString& score_path)
{
    QSettings settings("tambelo", "tambelo");
    settings.setValue(last_set_key, QFileInfo(score_path).absoluteFilePath());
}

}  // namespace tambelo::frontend
