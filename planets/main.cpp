// Zentavor: placeholder until the planet simulation lands.
int main() { return 0; }
