#include "document/FrameStack.h"

std::string ReasonText(StackProblem code, const Reason& reason) {
    switch (code) {
    case StackProblem::FrameOutside:
        return "there is no frame " + std::to_string(reason.First() + 1) + " of " + std::to_string(reason.Second());
    case StackProblem::NoFrames: return reason.Subject() + " holds no frames";
    case StackProblem::ChangedSinceIndex: break;
    }
    return reason.Subject() + " changed on disk since the folder was read: its image is " +
           std::to_string(reason.Number(0)) + " x " + std::to_string(reason.Number(1)) + ", the series' " +
           std::to_string(reason.Number(2)) + " x " + std::to_string(reason.Number(3));
}

Expected<StackFrame> SingleFileStack::Open(std::int32_t index) const {
    if (!m_source) return Reason(StackProblem::NoFrames).About(m_path);
    if (index < 0 || index >= Count()) return Reason(StackProblem::FrameOutside).Numbers(index, Count());
    return StackFrame{m_source, index, m_path};
}

Expected<std::shared_ptr<const FrameSource>> SingleFileStack::OpenFileForPass(std::int32_t file) const {
    if (!m_source || file != 0) return Reason(StackProblem::NoFrames).About(m_path);
    return m_source;
}
