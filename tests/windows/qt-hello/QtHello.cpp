// A window with a Korean label and a button. Once it is shown it prints how long
// that took from main() and whether the label's text is shaped to real glyphs in
// the font Qt chose (a glyph index 0 is the empty box): "hangul: ok (FAMILY)" or
// "hangul: missing (FAMILY)". It stays open until it is closed.
#include <QApplication>
#include <QElapsedTimer>
#include <QGlyphRun>
#include <QLabel>
#include <QPushButton>
#include <QRawFont>
#include <QTextLayout>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

#include <cstdio>

namespace {

// Every glyph Qt lays the text out with, in whichever fonts it fell back to;
// the families used are named in `families`.
bool AllGlyphsFound(const QString& text, const QFont& font, QStringList& families) {
  QTextLayout layout(text, font);
  layout.beginLayout();
  layout.createLine();
  layout.endLayout();
  bool found = true;
  int glyphs = 0;
  for (const QGlyphRun& run : layout.glyphRuns()) {
    families << run.rawFont().familyName();
    for (quint32 index : run.glyphIndexes()) {
      ++glyphs;
      if (index == 0) found = false;
    }
  }
  return found && glyphs == text.size();
}

}  // namespace

int main(int argc, char** argv) {
  QElapsedTimer sinceStart;
  sinceStart.start();
  QApplication app(argc, argv);

  QWidget window;
  window.setWindowTitle(QStringLiteral("qt-hello"));
  auto* label = new QLabel(QString::fromUtf8("가나다"));
  QFont large = label->font();
  large.setPixelSize(48);
  label->setFont(large);
  auto* button = new QPushButton(QString::fromUtf8("확인"));
  QObject::connect(button, &QPushButton::clicked, &window, &QWidget::close);
  auto* column = new QVBoxLayout(&window);
  column->addWidget(label);
  column->addWidget(button);
  window.resize(320, 200);
  window.show();

  QTimer::singleShot(0, &window, [&] {
    QStringList families;
    const bool found = AllGlyphsFound(label->text(), label->font(), families) &&
                       AllGlyphsFound(button->text(), button->font(), families);
    families.removeDuplicates();
    std::printf("shown after %lld ms\nhangul: %s (%s)\n", static_cast<long long>(sinceStart.elapsed()),
                found ? "ok" : "missing", families.join(QStringLiteral(", ")).toUtf8().constData());
    std::fflush(stdout);
  });
  return app.exec();
}
