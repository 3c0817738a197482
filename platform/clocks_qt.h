#pragma once

#include "platform/clocks.h"

#include <QLocale>

class QtClocks final : public Clocks {
public:
    explicit QtClocks(QLocale regional = QLocale::system()) : Regional(std::move(regional)) {}

    float SecondsSinceMidnight() override;
    LocalDateTime LocalNow() override;

private:
    QLocale Regional;
};
