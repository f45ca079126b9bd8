// Build-time tool: renders the Markdown manual to the PDF that ships with the
// program. Usage: render_manual MANUAL.md OUT.pdf (run on any Qt platform,
// offscreen will do).
#include <cstdio>

#include <QFile>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextDocument>

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: render_manual MANUAL.md OUT.pdf\n");
    return 2;
  }
  QFile source(QString::fromLocal8Bit(argv[1]));
  if (!source.open(QIODevice::ReadOnly)) {
    std::fprintf(stderr, "render_manual: cannot read %s\n", argv[1]);
    return 1;
  }
  QTextDocument document;
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPointSize(10);
  document.setDefaultFont(font);
  document.setMarkdown(QString::fromUtf8(source.readAll()));

  QPdfWriter pdf(QString::fromLocal8Bit(argv[2]));
  pdf.setTitle(QStringLiteral("Quorvex manual"));
  pdf.setCreator(QStringLiteral("Quorvex"));
  pdf.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                QMarginsF(20, 20, 20, 20), QPageLayout::Millimeter));
  document.print(&pdf);
  return 0;
}
