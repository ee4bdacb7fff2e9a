#pragma once

class QString;
class QWidget;

// Shows |text| for two seconds in a floating message at the bottom of |over|.
void showFloatingNotice(QWidget *over, const QString &text);
