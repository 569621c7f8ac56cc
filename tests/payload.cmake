# payload tests
