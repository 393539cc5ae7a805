// Stands in for Zentavor while its libraries are missing from the build.
int main() {
  return 0;
}
