"""What the package check found: faults, warnings (faults under --strict)
and notes per file for the payload listing."""

faults = []
warnings = []
notes = {}


def fault(key, text):
    faults.append(f"{key}: {text}")


def warning(key, text):
    warnings.append(f"warning: {key}: {text}")


def note(key, text):
    notes.setdefault(key, []).append(text)
