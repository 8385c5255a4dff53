#pragma once
// Counts every operator new of the test program while a CountedAllocations is alive. Linking
// vidora_test_allocation_counter replaces the program's operator new and delete (with malloc and
// free), so a program that links it counts all its allocations, on every thread.
namespace vidora::test {

class CountedAllocations {
  public:
    CountedAllocations();  // starts counting from 0
    ~CountedAllocations();
    CountedAllocations(const CountedAllocations&) = delete;
    CountedAllocations& operator=(const CountedAllocations&) = delete;

    // Allocations since construction, or until stop().
    long count() const;
    void stop();
};

}  // namespace vidora::test
