#include "ExecutionBudget.h"

namespace script {

std::string ExecutionBudget::spentLimit() const {
    using std::chrono::duration_cast;
    using std::chrono::milliseconds;
    if (wallSpent)
        return "time limit of " + std::to_string(duration_cast<milliseconds>(wallAllowance).count()) + " ms in all";
    return "script time limit of " + std::to_string(duration_cast<milliseconds>(scriptAllowance).count()) + " ms";
}

}  // namespace script
