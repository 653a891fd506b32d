#include "messages/OpenFailureWording.h"

UserMessage WordOpenFailure(const OpenFailure& failure, const TranslateMessage& translate)
{
    const std::string& reason = failure.failure.reason;
    switch (failure.kind) {
    case OpenFailureKind::Unreadable:
        return {Word(MessageId::FileCannotBeOpened, {failure.source}, translate), reason};
    case OpenFailureKind::SplatScene:
        return {Word(MessageId::SplatSceneFailed, {}, translate), reason};
    case OpenFailureKind::PointCloud:
        return {Word(MessageId::PointCloudFailed, {}, translate), reason};
    case OpenFailureKind::CameraPoses:
        return {Word(MessageId::CameraPosesFailed, {reason}, translate), {}};
    }
    return {Word(MessageId::PointCloudFailed, {}, translate), reason};
}
