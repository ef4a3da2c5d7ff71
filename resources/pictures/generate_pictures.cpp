// Draws the install dialog's pictures into the folder named on the command
// line, as <number>.png: the four 405 x 250 backgrounds, the 75 x 24 button
// faces and their mask, the dialog's icon and the toolbox picture.
//
// Everything is drawn at 1x with NanumGothic (Debian fonts-nanum), in one
// palette. The backgrounds leave room for what the dialogs put over them:
// the buttons at (303, 214) in the footer, and on the in-progress picture
// the two labels (from (142, 96)) and the bar ((131, 138), 257 x 16).
//
// Usage: hovane-picture-generator OUTPUT_FOLDER
// Run under QT_QPA_PLATFORM=offscreen when there is no display.

#include <QDir>
#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <functional>

namespace {

// The palette.
const QColor kBrand(0x2E, 0x7F, 0xC1);
const QColor kBrandLight(0x3C, 0x8F, 0xD2);
const QColor kBrandDark(0x22, 0x66, 0x9F);
const QColor kRailTop(0x2F, 0x86, 0xC8);
const QColor kRailBottom(0x1A, 0x57, 0x8E);
const QColor kTint(0xEA, 0xF3, 0xFB);
const QColor kInk(0x1F, 0x2A, 0x37);
const QColor kBody(0x4B, 0x55, 0x63);
const QColor kMuted(0x8A, 0x94, 0xA3);
const QColor kSurface(0xFF, 0xFF, 0xFF);
const QColor kFooter(0xF5, 0xF7, 0xFA);
const QColor kDivider(0xE3, 0xE8, 0xEF);
const QColor kSuccess(0x1E, 0x9E, 0x62);
const QColor kDanger(0xD9, 0x48, 0x3B);
const QColor kCaution(0xB7, 0x79, 0x1F);
const QColor kCautionTint(0xFD, 0xF6, 0xE7);
const QColor kCautionEdge(0xF3, 0xDF, 0xB5);

constexpr int kWidth = 405;
constexpr int kHeight = 250;
constexpr int kRailWidth = 112;
constexpr int kContentLeft = 131;
constexpr int kContentRight = 388;
constexpr int kFooterTop = 202;

QString g_regular;
QString g_bold;

QFont Font(const QString& family, int pixelSize) {
  QFont font(family);
  font.setPixelSize(pixelSize);
  font.setHintingPreference(QFont::PreferFullHinting);
  font.setStyleStrategy(QFont::PreferAntialias);
  return font;
}
QFont Regular(int pixelSize) { return Font(g_regular, pixelSize); }
QFont Bold(int pixelSize) {
  QFont font = Font(g_bold, pixelSize);
  font.setBold(true);
  return font;
}

QImage NewCanvas(int width, int height, const QColor& fill) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(fill);
  return image;
}

// The mark: a downward arrow landing in a tray, drawn in a square of side
// size at origin, in colour, with strokes stroke/32 of the side wide. At
// 32 and 48 pixels a stroke of 4 puts the straight strokes on whole pixels.
void DrawMark(QPainter& painter, QPointF origin, qreal size, const QColor& colour,
              qreal stroke = 3.2) {
  painter.save();
  painter.translate(origin);
  painter.scale(size / 32.0, size / 32.0);
  QPen pen(colour, stroke, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  painter.setPen(pen);
  painter.setBrush(Qt::NoBrush);
  painter.drawLine(QPointF(16, 6), QPointF(16, 18.5));
  QPainterPath head;
  head.moveTo(10.5, 13.5);
  head.lineTo(16, 19);
  head.lineTo(21.5, 13.5);
  painter.drawPath(head);
  QPainterPath tray;
  tray.moveTo(7, 19);
  tray.lineTo(7, 25);
  tray.lineTo(25, 25);
  tray.lineTo(25, 19);
  painter.drawPath(tray);
  painter.restore();
}

// The app tile: a rounded square in the brand gradient.
void DrawTileBase(QPainter& painter, const QRectF& rect) {
  const qreal radius = rect.width() * 0.22;
  QLinearGradient gradient(rect.topLeft(), rect.bottomLeft());
  gradient.setColorAt(0, kRailTop);
  gradient.setColorAt(1, kRailBottom);
  painter.setPen(Qt::NoPen);
  painter.setBrush(gradient);
  painter.drawRoundedRect(rect, radius, radius);
}

// The mark for 16 pixels, set pixel by pixel so that nothing blurs; top is
// the row the shaft starts on.
void DrawSmallMark(QPainter& painter, int top) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, false);
  const QColor white(Qt::white);
  painter.fillRect(QRect(7, top, 2, 5), white);      // shaft
  painter.fillRect(QRect(5, top + 4, 6, 1), white);  // arrow head
  painter.fillRect(QRect(6, top + 5, 4, 1), white);
  painter.fillRect(QRect(7, top + 6, 2, 1), white);
  painter.fillRect(QRect(3, top + 6, 2, 4), white);  // tray
  painter.fillRect(QRect(3, top + 8, 10, 2), white);
  painter.fillRect(QRect(11, top + 6, 2, 4), white);
  painter.restore();
}

// The brand rail on the left of every background.
void DrawRail(QPainter& painter) {
  QLinearGradient gradient(0, 0, 0, kHeight);
  gradient.setColorAt(0, kRailTop);
  gradient.setColorAt(1, kRailBottom);
  painter.fillRect(QRect(0, 0, kRailWidth, kHeight), gradient);

  // Two soft rings for depth, kept inside the rail.
  painter.save();
  painter.setClipRect(QRect(0, 0, kRailWidth, kHeight));
  painter.setPen(QPen(QColor(255, 255, 255, 22), 18));
  painter.setBrush(Qt::NoBrush);
  painter.drawEllipse(QPointF(18, 232), 70, 70);
  painter.setPen(QPen(QColor(255, 255, 255, 14), 10));
  painter.drawEllipse(QPointF(110, 180), 40, 40);
  painter.restore();

  // The logo: a white tile with the mark in brand blue.
  const QRectF tile(34, 34, 44, 44);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0, 0, 0, 28));
  painter.drawRoundedRect(tile.translated(0, 2), 10, 10);
  painter.setBrush(Qt::white);
  painter.drawRoundedRect(tile, 10, 10);
  DrawMark(painter, tile.topLeft() + QPointF(4, 4), 36, kBrand);

  painter.setPen(Qt::white);
  painter.setFont(Bold(17));
  painter.drawText(QRect(0, 88, kRailWidth, 24), Qt::AlignHCenter | Qt::AlignVCenter,
                   QStringLiteral("호바네"));
  painter.setPen(QColor(255, 255, 255, 190));
  painter.setFont(Regular(10));
  painter.drawText(QRect(0, 111, kRailWidth, 14), Qt::AlignHCenter | Qt::AlignVCenter,
                   QStringLiteral("HoVane Update"));
}

void DrawFooter(QPainter& painter, const QString& note) {
  painter.fillRect(QRect(kRailWidth, kFooterTop, kWidth - kRailWidth, kHeight - kFooterTop),
                   kFooter);
  painter.fillRect(QRect(kRailWidth, kFooterTop, kWidth - kRailWidth, 1), kDivider);
  if (note.isEmpty()) return;
  painter.setPen(kMuted);
  painter.setFont(Regular(11));
  painter.drawText(QRect(kContentLeft, kFooterTop + 1, 250, kHeight - kFooterTop - 1),
                   Qt::AlignLeft | Qt::AlignVCenter, note);
}

enum class Badge { Start, Progress, Done, Failed };

// A round status badge, 26 pixels, at (x, y).
void DrawBadge(QPainter& painter, int x, int y, Badge badge) {
  const QRectF circle(x, y, 26, 26);
  const QColor colour = badge == Badge::Done ? kSuccess : badge == Badge::Failed ? kDanger : kBrand;
  painter.save();
  painter.setPen(Qt::NoPen);
  painter.setBrush(colour);
  painter.drawEllipse(circle);
  QPen pen(Qt::white, 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  painter.setPen(pen);
  painter.setBrush(Qt::NoBrush);
  const QPointF c = circle.center();
  switch (badge) {
    case Badge::Start: {
      DrawMark(painter, circle.topLeft() + QPointF(4, 3.5), 18, Qt::white);
      break;
    }
    case Badge::Progress: {
      // Three quarters of a ring: work under way.
      painter.drawArc(QRectF(c.x() - 6.5, c.y() - 6.5, 13, 13), 90 * 16, -270 * 16);
      painter.drawLine(c, c + QPointF(0, -4));
      painter.drawLine(c, c + QPointF(3, 2));
      break;
    }
    case Badge::Done: {
      QPainterPath tick;
      tick.moveTo(c + QPointF(-6, 0.5));
      tick.lineTo(c + QPointF(-1.5, 5));
      tick.lineTo(c + QPointF(6.5, -4.5));
      painter.drawPath(tick);
      break;
    }
    case Badge::Failed: {
      painter.drawLine(c + QPointF(0, -6.5), c + QPointF(0, 1.5));
      painter.setPen(Qt::NoPen);
      painter.setBrush(Qt::white);
      painter.drawEllipse(c + QPointF(0, 6), 1.6, 1.6);
      break;
    }
  }
  painter.restore();
}

void DrawTitle(QPainter& painter, Badge badge, const QString& title) {
  DrawBadge(painter, kContentLeft, 22, badge);
  painter.setPen(kInk);
  painter.setFont(Bold(16));
  painter.drawText(QRect(kContentLeft + 36, 22, kContentRight - kContentLeft - 36, 26),
                   Qt::AlignLeft | Qt::AlignVCenter, title);
}

// Lines of body text from y down, 19 pixels apart; returns the next free y.
int DrawLines(QPainter& painter, int x, int y, const QStringList& lines, const QColor& colour,
              const QFont& font, int lineHeight = 19) {
  painter.setPen(colour);
  painter.setFont(font);
  for (const QString& line : lines) {
    painter.drawText(QRect(x, y, kContentRight - x, lineHeight), Qt::AlignLeft | Qt::AlignVCenter,
                     line);
    y += lineHeight;
  }
  return y;
}

QImage Background(const std::function<void(QPainter&)>& content, const QString& footerNote) {
  QImage image = NewCanvas(kWidth, kHeight, kSurface);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
  DrawRail(painter);
  DrawFooter(painter, footerNote);
  content(painter);
  return image;
}

QImage Starting() {
  return Background(
      [](QPainter& painter) {
        DrawTitle(painter, Badge::Start, QStringLiteral("설치를 시작합니다"));
        int y = DrawLines(painter, kContentLeft, 60,
                          {QStringLiteral("호바네 프로그램의 설치를 곧 시작합니다.")}, kBody,
                          Regular(12));
        // The request to close running programs, set apart as a notice.
        const QRect notice(kContentLeft, y + 8, kContentRight - kContentLeft, 48);
        painter.setPen(kCautionEdge);
        painter.setBrush(kCautionTint);
        painter.drawRoundedRect(QRectF(notice).adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
        painter.fillRect(QRect(notice.left() + 1, notice.top() + 6, 3, notice.height() - 12),
                         kCaution);
        DrawLines(painter, notice.left() + 14, notice.top() + 5,
                  {QStringLiteral("실행 중인 호바네 서비스 창과"),
                   QStringLiteral("다운로드 프로그램을 모두 닫아 주십시오.")},
                  kInk, Regular(12));
        DrawLines(painter, kContentLeft, notice.bottom() + 12,
                  {QStringLiteral("준비가 되면 [설치] 버튼을 눌러 주십시오.")}, kBody, Regular(12));
      },
      QString());
}

QImage InProgress() {
  return Background(
      [](QPainter& painter) {
        DrawTitle(painter, Badge::Progress, QStringLiteral("설치 중입니다"));
        DrawLines(painter, kContentLeft, 58,
                  {QStringLiteral("필요한 파일을 받아 설치하고 있습니다.")}, kBody, Regular(12));
        // The card behind the installing label, the file name and the bar;
        // the labels paint white, so the card is white inside.
        const QRectF card(kContentLeft - 10, 84, kContentRight - kContentLeft + 20, 86);
        painter.setPen(kDivider);
        painter.setBrush(kSurface);
        painter.drawRoundedRect(card.adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
      },
      QStringLiteral("설치가 끝날 때까지 이 창을 닫지 마십시오."));
}

QImage Completed() {
  return Background(
      [](QPainter& painter) {
        DrawTitle(painter, Badge::Done, QStringLiteral("설치가 완료되었습니다"));
        int y = DrawLines(
            painter, kContentLeft, 60,
            {QStringLiteral("다운로드 프로그램이 정상적으로"), QStringLiteral("설치되었습니다.")},
            kBody, Regular(12));
        DrawLines(painter, kContentLeft, y + 10,
                  {QStringLiteral("잠시 후 이 창이 자동으로 닫힙니다.")}, kMuted, Regular(11), 16);
      },
      QString());
}

QImage NotCompleted() {
  return Background(
      [](QPainter& painter) {
        DrawTitle(painter, Badge::Failed, QStringLiteral("설치를 완료하지 못했습니다"));
        int y =
            DrawLines(painter, kContentLeft, 60,
                      {QStringLiteral("설치가 정상적으로 끝나지 않았습니다.")}, kBody, Regular(12));
        const QRect hint(kContentLeft, y + 8, kContentRight - kContentLeft, 48);
        painter.setPen(kDivider);
        painter.setBrush(kTint);
        painter.drawRoundedRect(QRectF(hint).adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
        painter.fillRect(QRect(hint.left() + 1, hint.top() + 6, 3, hint.height() - 12), kBrand);
        DrawLines(painter, hint.left() + 14, hint.top() + 5,
                  {QStringLiteral("[확인]을 누르면 수동 설치 페이지가"),
                   QStringLiteral("열립니다. 안내에 따라 설치해 주십시오.")},
                  kInk, Regular(12));
      },
      QString());
}

// A 75 x 24 button face on the footer colour. The face takes the first 23
// rows: a button laid out 23 pixels high shows all of it.
QImage ButtonFace(const QString& word, const QColor& fill, bool down) {
  QImage image = NewCanvas(75, 24, kFooter);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
  const QRectF face(0, 0, 75, 23);
  painter.setPen(Qt::NoPen);
  painter.setBrush(fill);
  painter.drawRoundedRect(face, 4, 4);
  if (!down) {
    // A hairline of light along the top edge.
    painter.setPen(QPen(QColor(255, 255, 255, 40), 1));
    painter.drawLine(QPointF(4, 0.5), QPointF(71, 0.5));
  }
  painter.setPen(Qt::white);
  painter.setFont(Bold(12));
  // The word sits a pixel above the middle, so that a focus rectangle drawn
  // 4 pixels inside the edge clears it even when pressed.
  painter.drawText(QRect(0, down ? 0 : -1, 75, 23), Qt::AlignCenter, word);
  return image;
}

QImage Mask() { return NewCanvas(75, 24, Qt::black); }

QImage Icon(int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  DrawTileBase(painter, QRectF(0, 0, size, size));
  if (size == 16) {
    DrawSmallMark(painter, 3);
  } else {
    DrawMark(painter, QPointF(0, 0), size, Qt::white, 4);
  }
  return image;
}

// The toolbox picture, 16 x 15, on the window colour of a toolbox.
QImage Toolbox() {
  QImage image = NewCanvas(16, 15, QColor(0xF0, 0xF0, 0xF0));
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  DrawTileBase(painter, QRectF(0, 0, 16, 15));
  DrawSmallMark(painter, 2);
  return image;
}

bool Save(const QImage& image, const QDir& folder, const QString& name) {
  const QString path = folder.filePath(name + QStringLiteral(".png"));
  if (!image.save(path, "PNG")) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
  }
  return true;
}

bool LoadFonts() {
  const QString folder = QStringLiteral("/usr/share/fonts/truetype/nanum/");
  const int regular = QFontDatabase::addApplicationFont(folder + "NanumGothic.ttf");
  const int bold = QFontDatabase::addApplicationFont(folder + "NanumGothicBold.ttf");
  if (regular < 0 || bold < 0) {
    std::fprintf(stderr, "NanumGothic not found in %s (Debian package fonts-nanum)\n",
                 qPrintable(folder));
    return false;
  }
  g_regular = QFontDatabase::applicationFontFamilies(regular).value(0);
  g_bold = QFontDatabase::applicationFontFamilies(bold).value(0);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication application(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
    return 2;
  }
  const QDir folder(QString::fromLocal8Bit(argv[1]));
  if (!folder.exists()) {
    std::fprintf(stderr, "no folder %s\n", argv[1]);
    return 2;
  }
  if (!LoadFonts()) return 1;

  const QString install = QStringLiteral("설치");
  const QString ok = QStringLiteral("확인");
  struct Picture {
    const char* name;
    QImage image;
  };
  const Picture pictures[] = {
      {"219", Starting()},
      {"215", InProgress()},
      {"214", Completed()},
      {"212", NotCompleted()},
      {"216", ButtonFace(install, kBrand, false)},
      {"218", ButtonFace(install, kBrandDark, true)},
      {"217", ButtonFace(install, kBrandLight, false)},
      {"208", ButtonFace(ok, kBrand, false)},
      {"211", ButtonFace(ok, kBrandDark, true)},
      {"209", ButtonFace(ok, kBrandLight, false)},
      {"205", ButtonFace(ok, kBrand, false)},
      {"207", ButtonFace(ok, kBrandDark, true)},
      {"206", ButtonFace(ok, kBrandLight, false)},
      {"204", Mask()},
      {"220-16", Icon(16)},
      {"220", Icon(32)},
      {"220-48", Icon(48)},
      {"103", Toolbox()},
  };
  for (const Picture& picture : pictures) {
    if (!Save(picture.image, folder, QString::fromLatin1(picture.name))) return 1;
  }
  return 0;
}
