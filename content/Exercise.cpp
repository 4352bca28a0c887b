#include "Exercise.h"

Exercise::Exercise(QObject *parent)
    : QObject(parent)
{
}
