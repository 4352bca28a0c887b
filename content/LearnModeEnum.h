#pragma once

#include <QMetaType>

// What a composition builds. Travels in queued signals, hence the meta type.
enum LearnModeEnum : qint32 {
    SingleSituation = 0,
    WholeChapter = 1,
    Examination = 2,
    ExaminationReview = 3,
};

Q_DECLARE_METATYPE(LearnModeEnum)
