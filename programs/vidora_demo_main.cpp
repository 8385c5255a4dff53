#include "programs/program.h"

// The viewer with the simulated MR220 receiver plugged in.
int main(int argc, char** argv) {
    return vidora::runProgram(argc, argv, vidora::ReceiverKind::Simulated);
}
