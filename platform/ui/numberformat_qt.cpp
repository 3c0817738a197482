#include "platform/ui/numberformat_qt.h"

std::optional<double> QtNumberFormat::NumberFromText(const std::string &text)
{
    bool ok = false;
    const double value = Regional.toDouble(QString::fromStdString(text).trimmed(), &ok);
    if (!ok)
        return std::nullopt;
    return value;
}
