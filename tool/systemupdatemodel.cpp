#include "systemupdatemodel.h"

SystemUpdateModel::SystemUpdateModel(QObject *parent)
    : QObject(parent)
{ }
