#include "app/window/manual.h"

#include <QDir>
#include <QFileInfo>

namespace quorvex {

QString findManual(const QString& exeDir) {
  const QDir dir(exeDir);
  for (const char* relative : {"quorvex.pdf", "../share/quorvex/quorvex.pdf"}) {
    const QFileInfo candidate(dir.filePath(QString::fromLatin1(relative)));
    if (candidate.isFile()) return candidate.canonicalFilePath();
  }
  return {};
}

}  // namespace quorvex
