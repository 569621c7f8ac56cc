# Fault matrix, bad input and security tests.
