// Paints the window's JPEG pictures into a folder (assets/ by default):
//   asset-painter [FOLDER]
// The white boxes, button faces and keys lie exactly under the controls of the
// window, whose places come from shell/ScreenLayout.h.
#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>
#include <cstdio>

#include "shell/ScreenLayout.h"

namespace {

const QColor kNavy(0x14, 0x2D, 0x4F);
const QColor kInk(0x24, 0x33, 0x45);
const QColor kBrandBlue(0x1B, 0x4F, 0xA8);
const QColor kBrandOrange(0xF0, 0x82, 0x1E);
const QColor kKeyTop(0x5C, 0xD8, 0xF2);
const QColor kKeyBottom(0x16, 0x9C, 0xC7);

QFont Font(const char* family, int pixels, bool bold = false) {
  QFont f(family);
  f.setPixelSize(pixels);
  f.setBold(bold);
  f.setHintingPreference(QFont::PreferNoHinting);
  return f;
}

QRectF R(const layout::Rect& r) { return QRectF(r.Left, r.Top, r.Width, r.Height); }

void Save(const QImage& image, const QString& folder, const char* name) {
  const QString path = folder + "/" + name;
  if (!image.convertToFormat(QImage::Format_RGB888).save(path, "JPEG", 92)) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    std::exit(1);
  }
}

void Shadowed(QPainter& p, const QRectF& r, qreal radius, const QBrush& fill, const QColor& border) {
  for (int i = 3; i >= 1; --i) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x10, 0x20, 0x40, 14 * i));
    p.drawRoundedRect(r.translated(0, i + 1).adjusted(-i, -i, i, i), radius + i, radius + i);
  }
  p.setBrush(fill);
  p.setPen(QPen(border, 1.2));
  p.drawRoundedRect(r, radius, radius);
}

QLinearGradient Vertical(const QRectF& r, QColor top, QColor bottom) {
  QLinearGradient g(r.topLeft(), r.bottomLeft());
  g.setColorAt(0, top);
  g.setColorAt(1, bottom);
  return g;
}

// --- small icons -------------------------------------------------------------

void PieIcon(QPainter& p, QPointF c, qreal r, QColor a, QColor b) {
  p.setPen(Qt::NoPen);
  p.setBrush(a);
  p.drawPie(QRectF(c.x() - r, c.y() - r, 2 * r, 2 * r), 90 * 16, 260 * 16);
  p.setBrush(b);
  p.drawPie(QRectF(c.x() - r + 3, c.y() - r - 3, 2 * r, 2 * r), 350 * 16, 100 * 16);
}

void CardsIcon(QPainter& p, QPointF o, QColor card, QColor glass) {
  p.setPen(QPen(card.darker(130), 1.5));
  for (int i = 2; i >= 0; --i) {
    p.setBrush(i == 0 ? card : card.lighter(115 + 10 * i));
    p.drawRoundedRect(QRectF(o.x() + 4 * i, o.y() - 4 * i, 30, 20), 3, 3);
  }
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(glass, 3));
  p.drawEllipse(QPointF(o.x() + 26, o.y() + 16), 8, 8);
  p.drawLine(QPointF(o.x() + 32, o.y() + 22), QPointF(o.x() + 38, o.y() + 28));
}

void MagnifierIcon(QPainter& p, QPointF o, QColor color) {
  p.setPen(QPen(color.lighter(170), 1.5));
  p.setBrush(Qt::white);
  p.drawRoundedRect(QRectF(o.x(), o.y(), 34, 42), 4, 4);
  p.setPen(QPen(color.lighter(150), 2));
  for (int i = 0; i < 4; ++i) p.drawLine(QPointF(o.x() + 7, o.y() + 9 + 7 * i), QPointF(o.x() + 27, o.y() + 9 + 7 * i));
  p.setPen(QPen(color, 4));
  p.setBrush(QColor(255, 255, 255, 170));
  p.drawEllipse(QPointF(o.x() + 30, o.y() + 30), 11, 11);
  p.drawLine(QPointF(o.x() + 38, o.y() + 38), QPointF(o.x() + 47, o.y() + 47));
}

void EnvelopeIcon(QPainter& p, QRectF r, QColor color) {
  p.setPen(QPen(color, 2));
  p.setBrush(color.lighter(190));
  p.drawRoundedRect(r, 3, 3);
  QPainterPath flap;
  flap.moveTo(r.topLeft() + QPointF(2, 2));
  flap.lineTo(r.center().x(), r.center().y() + 2);
  flap.lineTo(r.topRight() + QPointF(-2, 2));
  p.setBrush(Qt::NoBrush);
  p.drawPath(flap);
}

void Chevron(QPainter& p, QPointF tip, QColor color) {
  p.setPen(QPen(color, 3.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.drawPolyline(QPolygonF{tip + QPointF(-7, -9), tip, tip + QPointF(-7, 9)});
}

// --- header -------------------------------------------------------------------

bool Land(double x, double y) {
  // A rough world map: a few ellipses for the continents, in a 0..1 box.
  struct E {
    double cx, cy, rx, ry;
  };
  static constexpr E kLand[] = {{0.18, 0.32, 0.12, 0.20}, {0.27, 0.72, 0.06, 0.22}, {0.47, 0.28, 0.06, 0.12},
                                {0.50, 0.62, 0.07, 0.22}, {0.68, 0.30, 0.18, 0.18}, {0.83, 0.78, 0.06, 0.08},
                                {0.74, 0.55, 0.04, 0.07}};
  for (const E& e : kLand)
    if (std::pow((x - e.cx) / e.rx, 2) + std::pow((y - e.cy) / e.ry, 2) <= 1.0) return true;
  return false;
}

void HeaderArt(QPainter& p, const QRectF& area) {
  QLinearGradient g(area.topLeft(), area.topRight());
  g.setColorAt(0.0, QColor(0x0A, 0x2E, 0x6E));
  g.setColorAt(0.55, QColor(0x14, 0x5D, 0xB8));
  g.setColorAt(1.0, QColor(0x0B, 0x3C, 0x8C));
  p.fillRect(area, g);
  QRadialGradient glow(QPointF(area.right() - 200, area.top() + 10), 260);
  glow.setColorAt(0, QColor(255, 255, 255, 60));
  glow.setColorAt(1, QColor(255, 255, 255, 0));
  p.fillRect(area, glow);

  // Dotted world map over the right two thirds.
  const QRectF map(area.left() + 330, area.top() + 2, 690, 76);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(255, 255, 255, 75));
  for (double y = 0; y < 1.0; y += 0.085)
    for (double x = 0; x < 1.0; x += 0.011)
      if (Land(x, y)) p.drawEllipse(QPointF(map.left() + x * map.width(), map.top() + y * map.height()), 1.3, 1.3);

  // Thin connecting lines between a few cities.
  const QPointF cities[] = {{520, 22}, {640, 14}, {760, 30}, {890, 18}, {980, 52}, {820, 60}};
  p.setPen(QPen(QColor(160, 210, 255, 120), 1));
  p.setBrush(Qt::NoBrush);
  for (std::size_t i = 0; i + 1 < std::size(cities); ++i) {
    QPainterPath arc(cities[i]);
    const QPointF mid = (cities[i] + cities[i + 1]) / 2 - QPointF(0, 14);
    arc.quadTo(mid, cities[i + 1]);
    p.drawPath(arc);
  }
  p.setBrush(QColor(200, 235, 255));
  p.setPen(Qt::NoPen);
  for (const QPointF& c : cities) p.drawEllipse(c, 2.2, 2.2);

  // A rising arrow.
  p.setPen(QPen(QColor(255, 255, 255, 170), 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  const QPolygonF rise{{800, 72}, {840, 58}, {868, 64}, {915, 38}, {950, 44}, {992, 14}};
  p.drawPolyline(rise);
  p.setBrush(QColor(255, 255, 255, 200));
  p.setPen(Qt::NoPen);
  p.drawPolygon(QPolygonF{{1000, 8}, {984, 12}, {994, 22}});

  p.setPen(QColor(255, 255, 255, 200));
  p.setFont(Font("NanumSquare", 11, true));
  p.drawText(QPointF(852, 32), "GLOBAL");
  p.drawText(QPointF(900, 76), "PARTNER");
}

QImage Header() {
  QImage image(layout::Image1.Width, layout::Image1.Height, QImage::Format_ARGB32);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  HeaderArt(p, QRectF(0, 0, image.width(), image.height()));
  return image;
}

// --- header buttons -------------------------------------------------------------

enum class Look { Up, Down };

QImage HeaderButton(int width, int height, Look look, const std::function<void(QPainter&, QColor)>& icon,
                    const QString& brand, int buttonLeft) {
  QImage image(width, height, QImage::Format_ARGB32);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  // The header shows through around the tab.
  p.translate(-buttonLeft, -22);
  HeaderArt(p, QRectF(0, 0, 1024, 80 + 22));
  p.resetTransform();
  const QRectF tab(4, 6, width - 8, height - 6);
  if (look == Look::Up) {
    p.setPen(QPen(QColor(0xC5, 0xD2, 0xE2), 1));
    p.setBrush(Vertical(tab, QColor(0xFF, 0xFF, 0xFF), QColor(0xE4, 0xEB, 0xF3)));
  } else {
    p.setPen(QPen(QColor(0x0D, 0x47, 0xA1), 1));
    p.setBrush(Vertical(tab, QColor(0x42, 0x9C, 0xF5), QColor(0x15, 0x65, 0xC0)));
  }
  QPainterPath path;
  path.addRoundedRect(tab.adjusted(0, 0, 0, 12), 12, 12);  // rounded on top only
  p.setClipRect(QRectF(0, 0, width, height));
  p.drawPath(path);
  const QColor text = look == Look::Up ? kNavy : QColor(Qt::white);
  icon(p, look == Look::Up ? kBrandBlue : QColor(Qt::white));
  p.setPen(text);
  p.setFont(Font("NanumSquare", 26, true));
  p.drawText(QRectF(66, 6, width - 100, height - 6), Qt::AlignVCenter | Qt::AlignLeft, brand);
  Chevron(p, QPointF(width - 22, 6 + (height - 6) / 2.0), look == Look::Up ? QColor(0x9A, 0xA6, 0xB4) : Qt::white);
  return image;
}

QImage ReportButton() {
  const auto& b = layout::ImageButton3;
  QImage image(b.Width, b.Height, QImage::Format_ARGB32);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.translate(-b.Left, -b.Top);
  HeaderArt(p, QRectF(0, 0, 1024, 80 + b.Top));
  p.resetTransform();
  p.setPen(QPen(QColor(160, 210, 255, 140), 1));
  p.drawLine(QPointF(10, b.Height - 12), QPointF(b.Width - 10, b.Height - 12));
  p.setPen(Qt::white);
  p.setFont(Font("NanumSquare", 26, true));
  p.drawText(QRectF(30, 6, b.Width - 70, b.Height - 12), Qt::AlignVCenter | Qt::AlignLeft, "REPORT");
  Chevron(p, QPointF(b.Width - 26, b.Height / 2.0), QColor(0xB8, 0xC4, 0xD2));
  return image;
}

// --- screens ----------------------------------------------------------------------

void WhiteBox(QPainter& p, const layout::Rect& field) {
  const QRectF box = R(field).adjusted(-8, -7, 8, 7);
  p.setPen(QPen(QColor(0xAE, 0xBE, 0xD0), 1.2));
  p.setBrush(Qt::white);
  p.drawRoundedRect(box, 5, 5);
  p.setPen(QPen(QColor(0xE3, 0xEA, 0xF2), 2));
  p.drawLine(box.topLeft() + QPointF(5, 2), box.topRight() + QPointF(-5, 2));
}

void Caption(QPainter& p, const layout::Rect& field, const QString& text) {
  p.setPen(kInk);
  p.setFont(Font("NanumGothic", 20, true));
  p.drawText(QRectF(field.Left - 175, field.Top - 8, 150, field.Height + 16), Qt::AlignVCenter | Qt::AlignRight,
             text);
}

void ButtonFace(QPainter& p, const layout::Rect& button, const QString& text, QColor color) {
  const QRectF r = R(button);
  Shadowed(p, r, 9, Vertical(r, color.lighter(125), color.darker(112)), color.darker(135));
  p.setPen(QPen(QColor(255, 255, 255, 90), 1));
  p.drawLine(r.topLeft() + QPointF(9, 2), r.topRight() + QPointF(-9, 2));
  p.setPen(Qt::white);
  p.setFont(Font("NanumSquare", 22, true));
  p.drawText(r, Qt::AlignCenter, text);
}

void Keypad(QPainter& p) {
  const QRectF panel(550, 138, 432, 410);
  Shadowed(p, panel, 16, Vertical(panel, QColor(0x25, 0x36, 0x4C), QColor(0x16, 0x22, 0x33)), QColor(0x0E, 0x17, 0x24));
  for (const layout::Key& key : layout::Keypad) {
    const QRectF r = QRectF(key.Left, key.Top, layout::KeyWidth, layout::KeyHeight).adjusted(4, 4, -4, -4);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 90));
    p.drawRoundedRect(r.translated(0, 3), 10, 10);
    p.setBrush(Vertical(r, kKeyTop, kKeyBottom));
    p.setPen(QPen(QColor(0x0E, 0x7A, 0xA0), 1.2));
    p.drawRoundedRect(r, 10, 10);
    p.setPen(QPen(QColor(255, 255, 255, 110), 1.5));
    p.drawLine(r.topLeft() + QPointF(10, 3), r.topRight() + QPointF(-10, 3));
    if (QString(key.Value) == "BACK") {
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(0x0B, 0x2A, 0x45));
      const QPointF c = r.center();
      p.drawPolygon(QPolygonF{c + QPointF(-18, 0), c + QPointF(12, -17), c + QPointF(12, 17)});
    } else {
      p.setPen(QColor(0x0B, 0x2A, 0x45));
      p.setFont(Font("NanumSquare", 36, true));
      p.drawText(r, Qt::AlignCenter, key.Value);
    }
  }
}

struct Screen {
  std::function<void(QPainter&, QPointF)> icon;
  QString brand;
  QColor brandColor;
  QString subtitle;
  QRectF upperPanel, lowerPanel;
  std::vector<std::pair<layout::Rect, QString>> fields;
  std::vector<std::tuple<layout::Rect, QString, QColor>> buttons;
};

QImage ScreenBackground(const Screen& s) {
  QImage image(layout::Page.Width, layout::Page.Height, QImage::Format_ARGB32);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  const QRectF all(0, 0, image.width(), image.height());
  p.fillRect(all, Vertical(all, QColor(0xF1, 0xF5, 0xFA), QColor(0xDC, 0xE5, 0xEF)));

  // Title tab.
  const QRectF tab(22, 22, 470, 92);
  Shadowed(p, tab, 14, Qt::white, QColor(0xD0, 0xDA, 0xE6));
  s.icon(p, QPointF(44, 44));
  p.setPen(s.brandColor);
  p.setFont(Font("NanumSquare", 46, true));
  p.drawText(QRectF(112, 22, 370, 62), Qt::AlignVCenter | Qt::AlignLeft, s.brand);
  p.setPen(QColor(0x6B, 0x7B, 0x8E));
  p.setFont(Font("NanumGothic", 16));
  p.drawText(QRectF(114, 78, 370, 26), Qt::AlignVCenter | Qt::AlignLeft, s.subtitle);

  for (const QRectF& panel : {s.upperPanel, s.lowerPanel})
    Shadowed(p, panel, 14, Vertical(panel, QColor(0xFB, 0xFD, 0xFF), QColor(0xEE, 0xF3, 0xF8)), QColor(0xC9, 0xD5, 0xE3));
  for (const auto& [field, caption] : s.fields) {
    WhiteBox(p, field);
    Caption(p, field, caption);
  }
  for (const auto& [button, text, color] : s.buttons) ButtonFace(p, button, text, color);
  Keypad(p);

  // Message bar and footer.
  const QRectF bar(22, 588, 972, 50);
  Shadowed(p, bar, 10, Qt::white, QColor(0xC9, 0xD5, 0xE3));
  EnvelopeIcon(p, QRectF(38, 601, 30, 22), QColor(0x3B, 0x6E, 0xB5));
  p.setPen(kInk);
  p.setFont(Font("NanumGothic", 17, true));
  p.drawText(QRectF(76, 588, 70, 50), Qt::AlignVCenter | Qt::AlignLeft, QString::fromUtf8("메시지"));
  p.setPen(QPen(QColor(0xD5, 0xDE, 0xE8), 1));
  p.drawLine(QPointF(144, 598), QPointF(144, 628));
  const QRectF footer(0, 648, image.width(), 30);
  p.fillRect(footer, Vertical(footer, QColor(0x1E, 0x2B, 0x3D), QColor(0x12, 0x1B, 0x28)));
  p.setPen(QColor(0x9F, 0xB0, 0xC4));
  p.setFont(Font("NanumGothic", 13));
  p.drawText(footer.adjusted(24, 0, -24, 0), Qt::AlignVCenter | Qt::AlignLeft,
             QString::fromUtf8("VEK 가맹점 단말기  ·  이용권 · 큐비캐쉬"));
  p.drawText(footer.adjusted(24, 0, -24, 0), Qt::AlignVCenter | Qt::AlignRight,
             QString::fromUtf8("고객센터 1588-0000"));
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("assets");
  QDir().mkpath(folder);

  Save(Header(), folder, "header.jpg");

  const auto pie = [](QPainter& p, QColor c) { PieIcon(p, QPointF(36, 36), 17, c, c.lighter(150)); };
  const auto cards = [](QPainter& p, QColor c) { CardsIcon(p, QPointF(14, 26), c, c.darker(110)); };
  const QString kumo = QStringLiteral("Mr.KUMO");
  const QString kubi = QStringLiteral("KUBI cash");
  Save(HeaderButton(257, 58, Look::Up, pie, kumo, layout::ImageButton1.Left), folder, "voucher-button-up.jpg");
  Save(HeaderButton(257, 59, Look::Down, pie, kumo, layout::ImageButton1.Left), folder, "voucher-button-down.jpg");
  Save(HeaderButton(260, 59, Look::Up, cards, kubi, layout::ImageButton2.Left), folder, "cashcard-button-up.jpg");
  Save(HeaderButton(260, 58, Look::Down, cards, kubi, layout::ImageButton2.Left), folder, "cashcard-button-down.jpg");
  Save(ReportButton(), folder, "report-button.jpg");

  const QColor find(0x2F, 0x6F, 0xD6), use(0x22, 0x9A, 0x5A), cancel(0xD2, 0x4B, 0x4B);
  Screen voucher{[](QPainter& p, QPointF o) { MagnifierIcon(p, o, kBrandBlue); },
                 kumo,
                 kBrandBlue,
                 QString::fromUtf8("이용권 조회 · 사용 · 취소"),
                 QRectF(30, 150, 492, 160),
                 QRectF(30, 348, 492, 222),
                 {{layout::edTno, QString::fromUtf8("이용권NO")},
                  {layout::edTamt, QString::fromUtf8("금액")},
                  {layout::edTdt, QString::fromUtf8("원거래일")},
                  {layout::edTreg, QString::fromUtf8("원승인NO")}},
                 {{layout::SpeedButton1, QString::fromUtf8("찾기"), find},
                  {layout::SpeedButton2, QString::fromUtf8("사용"), use},
                  {layout::SpeedButton3, QString::fromUtf8("취소"), cancel}}};
  Save(ScreenBackground(voucher), folder, "voucher-screen.jpg");

  Screen cash{[](QPainter& p, QPointF o) { CardsIcon(p, o + QPointF(2, 14), kBrandOrange, kBrandOrange.darker(130)); },
              QString::fromUtf8("큐비캐쉬"),
              kBrandOrange,
              QString::fromUtf8("큐비캐쉬 승인 · 취소"),
              QRectF(30, 140, 492, 180),
              QRectF(30, 360, 492, 178),
              {{layout::edMno, QString::fromUtf8("바코드번호")},
               {layout::edMamt, QString::fromUtf8("금액")},
               {layout::edMdt, QString::fromUtf8("원거래일")},
               {layout::edMreg, QString::fromUtf8("원승인NO")}},
              {{layout::SpeedButton5, QString::fromUtf8("사용"), use},
               {layout::SpeedButton6, QString::fromUtf8("취소"), cancel}}};
  Save(ScreenBackground(cash), folder, "cashcard-screen.jpg");
  return 0;
}
