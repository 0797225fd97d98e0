"""The error dendrix raises for a model document it cannot read."""


class ModelError(Exception):
    """A model document that cannot be read.

    Attributes:
        code: the reader's error code (1 missing or malformed element or
            attribute, 3 invalid value, 4 required list or node missing,
            5 unsupported construct, 8 variable not in the dictionary or in
            the wrong role, 9 invalid operator, 10 target missing, 11 target
            type mismatch, 12 array size mismatch), or 0 when the source is
            no readable XML document or the engine cannot be loaded.
        message: what is wrong, as the reader says it.
    """

    def __init__(self, code, message):
        super().__init__(code, message)
        self.code = code
        self.message = message

    def __str__(self):
        return f"error {self.code}: {self.message}" if self.code else self.message
