// main.cc: placeholder until the sequence lands.
int main() {
  return 0;
}
