#pragma once

#include "platform/ui/numberformat.h"

#include <QLocale>

class QtNumberFormat final : public RegionalNumberFormat {
public:
    explicit QtNumberFormat(QLocale regional = QLocale::system()) : Regional(std::move(regional)) {}

    std::optional<double> NumberFromText(const std::string &text) override;

private:
    QLocale Regional;
};
