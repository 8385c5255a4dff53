#pragma once
// The program entry shared by `vidora` (real receivers) and `vidora-demo` (the simulated one).

namespace vidora {

enum class ReceiverKind { Real, Simulated };

int runProgram(int argc, char** argv, ReceiverKind receiver);

}  // namespace vidora
