#include "isoupdatemodel.h"

ISOUpdateModel::ISOUpdateModel(QObject *parent)
    : QObject(parent)
{ }
