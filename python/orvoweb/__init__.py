"""Parts of the web application that the program calls."""
