#include "app/MessageTranslation.h"

#include <QCoreApplication>

std::string TranslateWithQt(const MessageSource& source)
{
    return QCoreApplication::translate(source.context, source.text).toStdString();
}
