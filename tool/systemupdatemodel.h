#pragma once

#include <QObject>

// The system update module's data: nothing to hold yet, kept so that its pages follow the same
// model-and-page shape as the offline update module's.
class SystemUpdateModel : public QObject
{
    Q_OBJECT

public:
    explicit SystemUpdateModel(QObject *parent = nullptr);
};
