// Placeholder: tests arrive with their feature.
