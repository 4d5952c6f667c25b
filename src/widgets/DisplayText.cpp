#include "widgets/DisplayText.h"

#include <QLocale>
#include <QStringDecoder>

#include "screening/ScreeningText.h"

namespace qb {

QString DisplayText(const std::string& bytes) {
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString text = utf8.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
  if (!utf8.hasError()) return text;
  return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string WireText(const QString& text) {
  return text.toStdString();
}

QString ReadableSize(const std::string& octets) {
  std::optional<std::int64_t> size = ParseWholeNumber(octets);
  if (!size) return DisplayText(octets);
  if (*size < 1000) return QString("%1 bytes").arg(*size);
  const char* const units[] = {"KB", "MB", "GB", "TB"};
  double value = static_cast<double>(*size);
  std::size_t unit = 0;
  for (value /= 1000; value >= 999.95 && unit + 1 < std::size(units); value /= 1000) ++unit;
  return QString("%1 %2").arg(value, 0, 'f', value < 99.95 ? 1 : 0).arg(units[unit]);
}

QString ExactSize(const std::string& octets) {
  std::optional<std::int64_t> size = ParseWholeNumber(octets);
  if (!size) return DisplayText(octets);
  return QLocale(QLocale::English).toString(static_cast<qlonglong>(*size)) + " bytes";
}

}  // namespace qb
