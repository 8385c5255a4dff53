#include "programs/program.h"

int main(int argc, char** argv) {
    return vidora::runProgram(argc, argv, vidora::ReceiverKind::Real);
}
