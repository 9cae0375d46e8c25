#include "ReceiptPicture.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

namespace viewer {

QImage ReceiptPicture(const PrintedReceipt& receipt) {
  QFont font(QStringLiteral("NanumGothicCoding"));
  font.setPixelSize(20);
  font.setStyleHint(QFont::Monospace);
  QFont bold = font;
  bold.setBold(true);
  const QFontMetrics metrics(font);
  const int cell = metrics.horizontalAdvance(QLatin1Char('M'));  // one column
  const int lineHeight = metrics.height() + 4;
  const int margin = 28;
  const int tear = 14;
  int height = margin;
  for (const PrintedLine& line : receipt) height += lineHeight * (line.DoubleHeight ? 2 : 1);
  height += margin + tear;
  const int width = margin * 2 + EscPosPrinter::kColumns * cell;

  QImage image(width, height, QImage::Format_RGB32);
  image.fill(QColor(0xE6, 0xE8, 0xEC));  // the counter under the paper
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);

  // The paper, torn in a zigzag below the cut.
  QPainterPath paper;
  paper.moveTo(0, 0);
  paper.lineTo(width, 0);
  const int bottom = height - tear;
  bool down = true;
  for (int x = width; x >= 0; x -= 8) {
    paper.lineTo(x, bottom + (down ? tear - 2 : 0));
    down = !down;
  }
  paper.closeSubpath();
  p.fillPath(paper, QColor(0xFF, 0xFF, 0xFD));

  p.setPen(QColor(0x1A, 0x1A, 0x1A));
  int y = margin;
  for (const PrintedLine& line : receipt) {
    const int h = lineHeight * (line.DoubleHeight ? 2 : 1);
    p.save();
    p.setFont(line.Bold ? bold : font);
    p.translate(margin, y);
    p.scale(line.DoubleWidth ? 2 : 1, line.DoubleHeight ? 2 : 1);
    p.drawText(QPointF(0, metrics.ascent() + 2), QString::fromStdString(line.Text));
    p.restore();
    y += h;
  }
  return image;
}

}  // namespace viewer
