// Trabolix before its libraries are in the tree: ends at once.
int main() {
  return 0;
}
