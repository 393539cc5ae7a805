// Trabolix: placeholder until the shooter game lands.
int main() { return 0; }
