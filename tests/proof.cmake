# End-to-end matrix, footprint and reproducibility tests.
