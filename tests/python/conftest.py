"""Inputs of the orv module's tests, named by the build (see CMakeLists.txt beside this file)."""

import json
import os
import pathlib

import pytest


@pytest.fixture(scope="session")
def reference():
    """The reference frames' folder and what a correct reader reports for each."""
    folder = pathlib.Path(os.environ["ORV_REFERENCE_DIR"])
    return folder, json.loads((folder / "expected.json").read_text())


@pytest.fixture(scope="session")
def orvconvert():
    return os.environ["ORVCONVERT"]


@pytest.fixture(scope="session")
def orv_tool():
    return os.environ["ORV_TOOL"]
