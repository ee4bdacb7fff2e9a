#pragma once

#include <QObject>

// The ISO update module's data: nothing to hold yet, kept so that its pages follow the same
// model-and-page shape as the offline update module's.
class ISOUpdateModel : public QObject
{
    Q_OBJECT

public:
    explicit ISOUpdateModel(QObject *parent = nullptr);
};
