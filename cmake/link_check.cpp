// The program of a layer's link check (CMakeLists.txt): it does nothing; linking it is the test.
int main() {
  return 0;
}
