// Placeholder until the scripted desktop lands.
int main() { return 0; }
