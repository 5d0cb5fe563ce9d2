"""Entry for ``python -m quorvel_scores_cli``."""

import sys

from quorvel_scores_cli import main

sys.exit(main())
