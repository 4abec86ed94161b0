// Dereferences null: the run that starts this must see a failure status.
int main() {
  volatile int* volatile nowhere = nullptr;
  *nowhere = 1;
  return 0;
}
